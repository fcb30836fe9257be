#include "shell/vosktoolmainpage.h"

#include "ui_vosktoolmainpage.h"

#include "app/appwarningdialog.h"
#include "app/configuremanager.h"
#include "aptui/coverwidget.h"
#include "aptui/menu.h"
#include "aptui/pinbutton.h"
#include "aptui/windowtitle.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "devicelist/devicereportqueue.h"
#include "discovery/deviceinfo.h"
#include "discovery/voskhandler.h"
#include "export/devicesinfosavepage.h"
#include "netparam/devicemodifypage.h"
#include "password/batchreset.h"
#include "password/recoverydialogs.h"
#include "shell/aboutdialog.h"
#include "shell/shelllog.h"
#include "shell/tipdialog.h"
#include "aptui/warningdialog.h"

#include <QCloseEvent>
#include <QCursor>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QStyle>

namespace VoskTool {

namespace {

constexpr int kSpacerWidth = 10;
constexpr int kPinWidth = 20;
constexpr int kPinHeight = 80;
// Distance of the folded pin button from the window's right edge, on top
// of its own width.
constexpr int kFoldedMargin = 11;
constexpr int kMenuOffset = 149;

const QString kWindowIcon = QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/SystemInfo/logo_large.png");

// The style sheet tells the two pin states apart by object name.
void renameAndRepolish(QWidget *widget, const QString &name)
{
    if (widget->objectName() == name)
        return;
    widget->setObjectName(name);
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

} // namespace

VOSKToolMainPage::VOSKToolMainPage(QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<::Ui::VOSKToolMainPage>())
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);

    // The title on top, below it the pages side by side.
    m_contentLayout = new QHBoxLayout;
    m_contentLayout->setSpacing(0);
    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_title = new aptui::WindowTitle(this);
    m_deviceDisplayPage = new DeviceDisplayPage(this);
    m_rightSpacer = new QWidget(this);
    m_rightSpacer->setObjectName(QStringLiteral("m_rightSpacer"));
    m_rightSpacer->setFixedWidth(kSpacerWidth);
    m_contentLayout->addWidget(m_deviceDisplayPage, 0);
    m_contentLayout->addWidget(m_rightSpacer, 0);
    m_ui->verticalLayout->addWidget(m_title);
    m_ui->verticalLayout->addLayout(m_contentLayout);
    m_rightSpacer->hide();

    m_pinBorder = new QWidget(this);
    m_pinBorder->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pinBorder->setObjectName(QStringLiteral("m_PinBorder"));
    m_pinButton = new aptui::PinButton(this);
    m_pinButton->setObjectName(QStringLiteral("m_pSpreadButton"));
    m_pinButton->raise();
    // Nothing to fold until a pane joins the window.
    m_pinBorder->hide();
    m_pinButton->hide();

    m_title->setTitle(tr("VOSK Tool"));
    m_title->setTitleIcon(QIcon(kWindowIcon));
    setWindowTitle(tr("VOSK Tool"));

    m_cover = new aptui::CoverWidget(this);
    m_cover->hide();
    m_cover->lower();
    m_coverOn = false;

    setWindowIcon(QIcon(kWindowIcon));

    m_menu = new aptui::Menu(this);
    m_menu->setObjectName(QStringLiteral("aboutMenu"));
    m_menu->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    m_menu->setAttribute(Qt::WA_TranslucentBackground);
    m_menu->setFocusPolicy(Qt::NoFocus);
    m_about = new AboutDialog(this);
    m_menu->addAction(m_about);

    connect(m_title, &aptui::WindowTitle::signalSystemMenu, this, &VOSKToolMainPage::OnBtnSystemMenu,
            Qt::DirectConnection);
    connect(m_about, &AboutDialog::signalCover, this, &VOSKToolMainPage::enableCover);
    connect(m_about, &AboutDialog::signalDiscover, this, &VOSKToolMainPage::disableCover);
    connect(this, &VOSKToolMainPage::signalGetHelp, m_about, &AboutDialog::onGetHelp);

    // The handler reports from the library's thread; the page's report queue
    // copies each record there and hands them to the table in runs.
    VOSK::registerMetaTypes();
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    m_deviceDisplayPage->listenTo(handler);
    connect(m_deviceDisplayPage, &DeviceDisplayPage::signalCoverMainPage, this, &VOSKToolMainPage::enableCover);
    connect(m_deviceDisplayPage, &DeviceDisplayPage::signalDisCoverMainPage, this, &VOSKToolMainPage::disableCover);
    // The features meet here: the table asks, the window opens the dialog.
    connect(m_deviceDisplayPage, &DeviceDisplayPage::signalExportRequested, this, [this] {
        enableCover();
        DevicesInfoSavePage::exportRows(m_deviceDisplayPage->model(), m_deviceDisplayPage->checkedRows(),
                                        m_deviceDisplayPage);
        disableCover();
    });
    connect(m_deviceDisplayPage, &DeviceDisplayPage::signalConfigExportRequested, this,
            [this](const QVector<DeviceKey> &devices) { runConfigExport(m_deviceDisplayPage, devices); });
    connect(m_deviceDisplayPage, &DeviceDisplayPage::signalConfigResetRequested, this,
            [this](const QVector<DeviceKey> &devices) { runConfigReset(m_deviceDisplayPage, devices); });
    connect(m_pinButton, &aptui::PinButton::pinButtonClicked, this, &VOSKToolMainPage::onMovePinButtion);
    connect(m_pinButton, &aptui::PinButton::pinButtonClicked, this, &VOSKToolMainPage::onShowOrHideRightSpace);

    // The right-hand pane acts on the table's checked devices and hands its
    // results back to the table.
    auto *pane = new DeviceModifyPage(this);
    pane->setMessenger([this](const PaneMessage &m) {
        if (m.tall)
            WarningDialog::showWarningTall(m.position, m.kind, m.text, this, m.field, m.hint);
        else
            WarningDialog::showWarning(m.position, m.kind, m.text, this, m.field, m.hint);
    });
    // Setup.xml's TaskThread: how many devices a batch asks at once.
    const int inFlight = apt::ConfigureManager::GetInstance()->getTaskThread();
    if (inFlight > 0)
        pane->setMaxInFlight(inFlight);
    connect(m_deviceDisplayPage, &DeviceDisplayPage::signalCurrentSelectionModelChange, pane,
            &DeviceModifyPage::onCurrentSelectionChange, Qt::DirectConnection);
    connect(pane, &DeviceModifyPage::signalModifyResult, m_deviceDisplayPage, &DeviceDisplayPage::onDevicesModifyResult);
    connect(pane, &DeviceModifyPage::signalActiveResult, m_deviceDisplayPage, &DeviceDisplayPage::onDevicesActiveResult);
    connect(pane, &DeviceModifyPage::signalExportExcel, m_deviceDisplayPage, &DeviceDisplayPage::onSaveDeviceInfoToExcel);
    connect(pane, &DeviceModifyPage::signalForgetPasswordRequested, this, [this](const DeviceInfo &device) {
        enableCover();
        runRecoveryDialog(this, device.serialNumber, device.deviceType, device.mac);
        disableCover();
    });
    connect(pane, &DeviceModifyPage::signalCoverMainPage, this, &VOSKToolMainPage::enableCover);
    connect(pane, &DeviceModifyPage::signalDisCoverMainPage, this, &VOSKToolMainPage::disableCover);
    setRightPane(pane);

    startDiscovery();
}

VOSKToolMainPage::~VOSKToolMainPage()
{
    // The handler outlives the window; its reports must not reach a page
    // that is gone (the report queue drops what arrives while it goes, but
    // nothing should arrive at all).
    disconnect(VOSK::VoskHandler::instance(), nullptr, m_deviceDisplayPage, nullptr);
    m_deviceDisplayPage->reportQueue()->stopListening();
}

void VOSKToolMainPage::startDiscovery()
{
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    handler->setDeviceFilterRule(apt::ConfigureManager::GetInstance()->getFilter());
    if (!handler->start()) {
        qCWarning(lcShell) << "[VOSKToolMainPage] discovery did not start, error" << handler->getLastError();
        apt::AppWarningDialog::show(tr("Initialization failed."), false);
    }
}

void VOSKToolMainPage::setRightPane(QWidget *pane)
{
    if (!pane || pane == m_rightPane)
        return;
    if (m_rightPane) {
        // Out of the layout at once: until it is deleted it would still
        // claim its width.
        m_contentLayout->removeWidget(m_rightPane);
        m_rightPane->hide();
        m_rightPane->deleteLater();
    }
    m_rightPane = pane;
    pane->setParent(this);
    // Between the table page and the spacer.
    m_contentLayout->insertWidget(m_contentLayout->indexOf(m_rightSpacer), pane, 0);
    pane->show();
    m_pinButton->setBuddy(pane);
    m_pinBorder->show();
    m_pinButton->show();
    m_pinButton->raise();
    onShowOrHideRightSpace();
    onMovePinButtion();
}

void VOSKToolMainPage::setExitDialogRunner(DialogRunner runner)
{
    m_exitDialogRunner = std::move(runner);
}

void VOSKToolMainPage::onMovePinButtion()
{
    if (!m_rightPane || !m_pinButton)
        return;
    const int windowWidth = width();
    const int windowHeight = height();
    const int titleHeight = m_title->height();
    m_pinBorder->setFixedSize(kPinWidth, windowHeight - titleHeight);
    m_pinButton->setFixedSize(kPinWidth, kPinHeight);
    // 30 % down the window, less half a button's tab.
    const int y = static_cast<int>(0.3 * windowHeight - 20);
    if (m_rightPane->isVisibleTo(this)) {
        const int x = windowWidth - kPinWidth - m_rightPane->width();
        m_pinBorder->move(x + 1, titleHeight);
        m_pinButton->move(x + 1, y);
        renameAndRepolish(m_pinButton, QStringLiteral("m_pUnSpreadButton"));
    } else {
        const int x = windowWidth - kPinWidth - kFoldedMargin;
        m_pinButton->move(x, y);
        m_pinBorder->move(x, titleHeight);
        renameAndRepolish(m_pinButton, QStringLiteral("m_pSpreadButton"));
    }
}

void VOSKToolMainPage::onShowOrHideRightSpace()
{
    const bool folded = m_rightPane && !m_rightPane->isVisibleTo(this);
    m_rightSpacer->setVisible(folded);
}

void VOSKToolMainPage::OnBtnSystemMenu()
{
    // An empty menu would pop up as a bare frame.
    if (m_menu->actions().isEmpty())
        return;
    m_menu->popup(QCursor::pos() - QPoint(kMenuOffset, 0));
}

void VOSKToolMainPage::setCover(bool coverIt)
{
    if (coverIt) {
        m_cover->resize(size());
        m_cover->setVisible(true);
        m_cover->move(0, 0);
        m_cover->raise();
    } else {
        m_cover->hide();
        m_cover->lower();
    }
    m_coverOn = coverIt;
}

void VOSKToolMainPage::enableCover()
{
    setCover(true);
}

void VOSKToolMainPage::disableCover()
{
    setCover(false);
}

void VOSKToolMainPage::resizeEvent(QResizeEvent *event)
{
    m_cover->resize(event->size());
    if (m_coverOn)
        m_cover->move(0, 0);
    onMovePinButtion();
    QMainWindow::resizeEvent(event);
}

void VOSKToolMainPage::closeEvent(QCloseEvent *event)
{
    TipDialog dialog(nullptr);
    dialog.setFixedSize(350, 220);
    dialog.setTitle(tr("Exit"));
    dialog.setText(tr("Exit the VOSK software?"));
    setCover(true);
    const int result = m_exitDialogRunner ? m_exitDialogRunner(dialog) : dialog.exec();
    if (result == QDialog::Accepted) {
        event->accept();
        return;
    }
    setCover(false);
    event->ignore();
}

void VOSKToolMainPage::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1) {
        emit signalGetHelp();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

} // namespace VoskTool
