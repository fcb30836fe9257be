#include "aptui/cdlgabout.h"

#include "aptui/widget.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

namespace aptui {

namespace {

// The form's placeholder texts, translated in the form's context.
QString textLabel()
{
    return QCoreApplication::translate("AboutClass", "TextLabel");
}

QString pushButton()
{
    return QCoreApplication::translate("AboutClass", "PushButton");
}

} // namespace

CDlgAbout::CDlgAbout(QObject *parent)
    : QWidgetAction(parent)
{
    buildForm();
    setDefaultWidget(m_panel);
    connect(m_aboutbtn1, &QPushButton::clicked, this, &CDlgAbout::siganlBtn1Clicked);
    connect(m_aboutbtn2, &QPushButton::clicked, this, &CDlgAbout::siganlBtn2Clicked);
    connect(m_conerBtn, &QPushButton::clicked, this, &CDlgAbout::signalConerBtnClicked);
}

CDlgAbout::~CDlgAbout() = default;

void CDlgAbout::buildForm()
{
    m_panel = new Widget;
    m_panel->setObjectName(QStringLiteral("AboutDialog_ID_FX_CANNOT_BE_MULTI"));
    m_panel->setWindowTitle(tr("About"));
    m_panel->setFixedSize(288, 134);

    auto *outer = new QGridLayout(m_panel);
    outer->setObjectName(QStringLiteral("gridLayout_5"));
    outer->setSpacing(0);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *aboutWidget = new QWidget(m_panel);
    aboutWidget->setObjectName(QStringLiteral("AboutWidget"));
    outer->addWidget(aboutWidget, 0, 0);

    auto *grid = new QGridLayout(aboutWidget);
    grid->setObjectName(QStringLiteral("gridLayout"));
    grid->setSpacing(0);
    grid->setContentsMargins(0, 0, 0, 0);
    auto *column = new QVBoxLayout;
    column->setObjectName(QStringLiteral("verticalLayout_3"));
    column->setSpacing(0);
    column->setContentsMargins(21, 0, 21, 0);
    grid->addLayout(column, 0, 0);

    // The corner button on its own row at the top right, the icon with the
    // name and version below it: the panel is narrow.
    auto *top = new QVBoxLayout;
    top->setObjectName(QStringLiteral("TopLayout"));
    top->setSpacing(6);
    top->setContentsMargins(0, 19, 0, 0);
    auto *corner = new QHBoxLayout;
    corner->setObjectName(QStringLiteral("verticalLayout"));
    corner->addStretch(1);
    m_conerBtn = new QPushButton(pushButton(), aboutWidget);
    m_conerBtn->setObjectName(QStringLiteral("m_conerBtn"));
    corner->addWidget(m_conerBtn);
    top->addLayout(corner);

    auto *identity = new QHBoxLayout;
    identity->setObjectName(QStringLiteral("horizontalLayout"));
    identity->setSpacing(20);
    m_softIcon = new QLabel(aboutWidget);
    m_softIcon->setObjectName(QStringLiteral("SoftIcon"));
    m_softIcon->setFixedSize(40, 40);
    m_softIcon->setScaledContents(true);
    m_softIcon->setPixmap(QPixmap(QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/SystemInfo/logo_large.png")));
    auto *texts = new QVBoxLayout;
    texts->setObjectName(QStringLiteral("verticalLayout_2"));
    texts->setSpacing(5);
    m_labNameValue = new QLabel(textLabel(), aboutWidget);
    m_labNameValue->setObjectName(QStringLiteral("m_labNameValue"));
    m_labVersionValue = new QLabel(aboutWidget);
    m_labVersionValue->setObjectName(QStringLiteral("m_labVersionValue"));
    m_labVersionValue->setWordWrap(true);
    m_labVersionValue->setText(textLabel() + QStringLiteral(" Build") + QString::number(buildNumber()));
    texts->addWidget(m_labNameValue);
    texts->addWidget(m_labVersionValue);
    identity->addWidget(m_softIcon, 0, Qt::AlignTop);
    identity->addLayout(texts, 1);
    top->addLayout(identity);
    top->addStretch(1);
    column->addLayout(top, 1);

    m_aboutLine1 = new QFrame(aboutWidget);
    m_aboutLine1->setObjectName(QStringLiteral("aboutLine1"));
    m_aboutLine1->setFrameShape(QFrame::HLine);
    m_aboutLine1->setFrameShadow(QFrame::Plain);
    column->addWidget(m_aboutLine1);

    auto *rowOuter = new QHBoxLayout;
    rowOuter->setObjectName(QStringLiteral("horizontalLayout_3"));
    auto *row = new QHBoxLayout;
    row->setObjectName(QStringLiteral("horizontalLayout_2"));
    row->setSpacing(14);
    m_aboutbtn1 = new QPushButton(pushButton(), aboutWidget);
    m_aboutbtn1->setObjectName(QStringLiteral("aboutbtn1"));
    m_aboutLine2 = new QFrame(aboutWidget);
    m_aboutLine2->setObjectName(QStringLiteral("aboutLine2"));
    m_aboutLine2->setFrameShape(QFrame::VLine);
    m_aboutLine2->setFrameShadow(QFrame::Plain);
    m_aboutbtn2 = new QPushButton(pushButton(), aboutWidget);
    m_aboutbtn2->setObjectName(QStringLiteral("aboutbtn2"));
    row->addWidget(m_aboutbtn1);
    row->addWidget(m_aboutLine2);
    row->addWidget(m_aboutbtn2);
    rowOuter->addLayout(row);
    column->addLayout(rowOuter);
}

int CDlgAbout::buildNumber(const char *compileDate)
{
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    if (!compileDate || std::strlen(compileDate) != 11 || compileDate[3] != ' ' || compileDate[6] != ' ')
        return 0;
    int month = 0;
    for (int m = 0; m < 12; ++m) {
        if (std::strncmp(kMonths + 3 * m, compileDate, 3) == 0)
            month = m + 1;
    }
    const auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : -1; };
    const int dayTens = compileDate[4] == ' ' ? 0 : digit(compileDate[4]);
    const int dayOnes = digit(compileDate[5]);
    int year = 0;
    for (int i = 7; i < 11; ++i) {
        if (digit(compileDate[i]) < 0)
            return 0;
        year = year * 10 + digit(compileDate[i]);
    }
    const int day = dayTens * 10 + dayOnes;
    if (month == 0 || dayTens < 0 || dayOnes < 0 || day < 1 || day > 31)
        return 0;
    return year * 10000 + month * 100 + day;
}

int CDlgAbout::buildNumber()
{
    return buildNumber(__DATE__);
}

void CDlgAbout::setName(const QString &text)
{
    m_labNameValue->setText(tr("Name: ") + text);
}

void CDlgAbout::setVersion(const QString &text)
{
    m_labVersionValue->setText(tr("Version: ") + text);
}

void CDlgAbout::setBtn1Text(const QString &text)
{
    m_aboutbtn1->setText(text);
}

void CDlgAbout::setBtn2Text(const QString &text)
{
    m_aboutbtn2->setText(text);
}

void CDlgAbout::setConerBtnText(const QString &text)
{
    m_conerBtn->setText(text);
}

void CDlgAbout::showBottomButton(QPushButton *button, bool show)
{
    // The lines follow the button's state before the change: the top line
    // stays while either the button was there or comes, the middle one only
    // while it was there and stays.
    const bool wasShown = !button->isHidden();
    m_aboutLine1->setVisible(wasShown || show);
    m_aboutLine2->setVisible(wasShown && show);
    button->setVisible(show);
}

void CDlgAbout::showBtn1(bool show)
{
    showBottomButton(m_aboutbtn1, show);
}

void CDlgAbout::showBtn2(bool show)
{
    showBottomButton(m_aboutbtn2, show);
}

void CDlgAbout::showConerBtn(bool show)
{
    m_conerBtn->setVisible(show);
}

void CDlgAbout::showBtns(bool show)
{
    m_aboutLine1->setVisible(show);
    m_aboutLine2->setVisible(show);
    m_aboutbtn1->setVisible(show);
    m_aboutbtn2->setVisible(show);
}

} // namespace aptui
