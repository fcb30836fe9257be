#include "aptui/passwordstrengthmeter.h"

#include <QLabel>
#include <QPixmap>

namespace aptui {

PasswordStrengthMeter::PasswordStrengthMeter(QLabel *bar1, QLabel *bar2, QLabel *bar3, QLabel *levelText)
    : m_bars{bar1, bar2, bar3}, m_levelText(levelText)
{
}

QString PasswordStrengthMeter::greyImage()
{
    return QStringLiteral(":/CommonSkin/Password/Images/Public/Control/Password/grey.png");
}

QString PasswordStrengthMeter::redImage()
{
    return QStringLiteral(":/CommonSkin/Password/Images/Public/Control/Password/red.png");
}

QString PasswordStrengthMeter::yellowImage()
{
    return QStringLiteral(":/CommonSkin/Password/Images/Public/Control/Password/yellow.png");
}

QString PasswordStrengthMeter::greenImage()
{
    return QStringLiteral(":/CommonSkin/Password/Images/Public/Control/Password/green.png");
}

void PasswordStrengthMeter::showStrength(int level, const QString &word)
{
    // Grey first, then colour as many bars as the level earns.
    QString images[3] = {greyImage(), greyImage(), greyImage()};
    QString text;
    switch (level) {
    case 1:
        images[0] = redImage();
        text = word;
        break;
    case 2:
        images[0] = images[1] = yellowImage();
        text = word;
        break;
    case 3:
        images[0] = images[1] = images[2] = greenImage();
        text = word;
        break;
    default:
        break;
    }
    for (int i = 0; i < 3; ++i) {
        if (m_bars[i]) {
            m_bars[i]->setPixmap(QPixmap(images[i]));
            m_bars[i]->show();
        }
    }
    if (m_levelText) {
        m_levelText->setText(text);
        m_levelText->setStyleSheet(QString());
    }
}

void PasswordStrengthMeter::showRefusal(const QString &why)
{
    showStrength(0, QString());
    if (!m_levelText)
        return;
    // The words take the bars' place: grey bars say nothing, and beside
    // them the words would widen the form past its pane.
    for (QLabel *bar : m_bars) {
        if (bar)
            bar->hide();
    }
    m_levelText->setText(why);
    // The red of the first bar: a refusal, not a level.
    m_levelText->setStyleSheet(QStringLiteral("color: #e5484d;"));
}

} // namespace aptui
