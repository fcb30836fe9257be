#include "aptui/warningdialog.h"

#include "aptui/multistatelineedit.h"
#include "aptui/aptuilog.h"
#include "ui_warningdialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimerEvent>

namespace VoskTool {

namespace {

int g_autoCloseMs = WarningDialog::AutoCloseMilliseconds;

QString bubbleIconPath(int kind)
{
    switch (kind) {
    case WarningDialog::KindSuccess:
        return QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/TipDialog/icon_alert_ok_large.png");
    case WarningDialog::KindInformation:
        return QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/TipDialog/icon_alert_info_large.png");
    case WarningDialog::KindError:
        return QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/TipDialog/icon_alert_error_large.png");
    default:
        return QString();
    }
}

} // namespace

WarningDialog::WarningDialog(int kind, const QString &text, QWidget *owner)
    : QDialog(owner)
    , m_ui(std::make_unique<::Ui::WarningDialog>())
{
    m_ui->setupUi(this);
    setWindowTitle(tr("Form"));
    m_ui->m_labelWarnText->setText(text);

    const QString iconPath = bubbleIconPath(kind);
    if (!iconPath.isEmpty()) {
        const QPixmap icon(iconPath);
        if (icon.isNull())
            qCWarning(lcAptui) << "[WarningDialog] missing icon" << iconPath;
        else
            m_ui->m_labelWarnPicture->setPixmap(icon.scaled(32, 32, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    }

    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    resize(310, 120);
    connect(m_ui->m_btnClose, &QPushButton::clicked, this, &WarningDialog::onBtnClose);
    m_timerId = startTimer(g_autoCloseMs);
}

WarningDialog::~WarningDialog() = default;

QString WarningDialog::text() const
{
    return m_ui->m_labelWarnText->text();
}

void WarningDialog::setAutoCloseInterval(int milliseconds)
{
    g_autoCloseMs = milliseconds > 0 ? milliseconds : AutoCloseMilliseconds;
}

int WarningDialog::autoCloseInterval()
{
    return g_autoCloseMs;
}

void WarningDialog::onBtnClose()
{
    close();
    Q_EMIT signalWarnClose();
}

void WarningDialog::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timerId) {
        QDialog::timerEvent(event);
        return;
    }
    // One tick is all: a bubble shown again must not be closed twice.
    killTimer(m_timerId);
    m_timerId = 0;
    close();
}

void WarningDialog::showWarning(const QPoint &position, int kind, const QString &text, QWidget *owner,
                                aptui::MultiStateLineEdit *lineEdit, QLabel *iconLabel)
{
    run(position, kind, text, owner, lineEdit, iconLabel, false);
}

void WarningDialog::showWarningTall(const QPoint &position, int kind, const QString &text, QWidget *owner,
                                    aptui::MultiStateLineEdit *lineEdit, QLabel *iconLabel)
{
    run(position, kind, text, owner, lineEdit, iconLabel, true);
}

void WarningDialog::run(const QPoint &position, int kind, const QString &text, QWidget *owner,
                        aptui::MultiStateLineEdit *lineEdit, QLabel *iconLabel, bool tall)
{
    markField(kind, lineEdit, iconLabel);
    WarningDialog dialog(kind, text, owner);
    if (tall)
        dialog.resize(310, 160);
    dialog.placeAt(position);
    dialog.exec();
}

namespace {
QPointer<WarningDialog> g_lasting;
} // namespace

WarningDialog *WarningDialog::showLasting(const QPoint &position, int kind, const QString &text, QWidget *owner,
                                          aptui::MultiStateLineEdit *lineEdit, QLabel *iconLabel, bool tall)
{
    if (g_lasting)
        g_lasting->close();
    markField(kind, lineEdit, iconLabel);
    QWidget *host = owner ? owner->window() : nullptr;
    auto *bubble = new WarningDialog(kind, text, host);
    bubble->setAttribute(Qt::WA_DeleteOnClose);
    if (host) {
        // Drawn inside the owner's window rather than as a window of its
        // own: no window is activated, so the field being typed in keeps
        // the keyboard, and the bubble moves with the window.
        bubble->setWindowFlags(Qt::Widget);
    } else {
        bubble->setWindowFlags(bubble->windowFlags() | Qt::Tool | Qt::WindowDoesNotAcceptFocus);
        bubble->setAttribute(Qt::WA_ShowWithoutActivating);
    }
    bubble->setFocusPolicy(Qt::NoFocus);
    bubble->m_ui->m_btnClose->setFocusPolicy(Qt::NoFocus);
    bubble->setModal(false);
    if (kind != KindSuccess) {
        // A refusal stays until read: no self-close.
        bubble->killTimer(bubble->m_timerId);
        bubble->m_timerId = 0;
    }
    if (lineEdit)
        connect(lineEdit, &QLineEdit::textEdited, bubble, &QWidget::close);
    if (tall)
        bubble->resize(310, 160);
    if (host) {
        // The given global point, kept inside the window.
        const QPoint local = host->mapFromGlobal(position);
        bubble->move(qBound(0, local.x(), qMax(0, host->width() - bubble->width())),
                     qBound(0, local.y(), qMax(0, host->height() - bubble->height())));
    } else {
        bubble->placeAt(position);
    }
    g_lasting = bubble;
    bubble->show();
    bubble->raise();
    return bubble;
}

WarningDialog *WarningDialog::lastingBubble()
{
    return g_lasting.data();
}

void WarningDialog::markField(int kind, aptui::MultiStateLineEdit *lineEdit, QLabel *iconLabel)
{
    if (!lineEdit || !iconLabel)
        return;
    if (kind == KindError) {
        lineEdit->setLineEditState(aptui::MultiStateLineEdit::ERROR);
        iconLabel->setPixmap(
            QPixmap(QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/BaseControl/Inputs/icon_alert_error.png")));
    } else if (kind == KindInformation) {
        lineEdit->setLineEditState(aptui::MultiStateLineEdit::TIP);
        iconLabel->setPixmap(
            QPixmap(QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/BaseControl/Inputs/icon_alert_info.png")));
    }
}

void WarningDialog::placeAt(const QPoint &position)
{
    const QScreen *screen = QGuiApplication::screenAt(position);
    if (!screen && parentWidget())
        screen = parentWidget()->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    QPoint topLeft = position;
    if (screen) {
        // Callers compute the point from their own geometry; near a screen
        // edge the bubble would otherwise be partly out of sight.
        const QRect area = screen->availableGeometry();
        topLeft.setX(qBound(area.left(), topLeft.x(), qMax(area.left(), area.right() + 1 - width())));
        topLeft.setY(qBound(area.top(), topLeft.y(), qMax(area.top(), area.bottom() + 1 - height())));
    }
    move(topLeft);
}

} // namespace VoskTool
