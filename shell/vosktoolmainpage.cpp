#include "shell/vosktoolmainpage.h"

#include "ui_vosktoolmainpage.h"

#include "app/appwarningdialog.h"
#include "app/configuremanager.h"
#include "aptui/coverwidget.h"
#include "aptui/cwidgetsizefactory.h"
#include "aptui/menu.h"
#include "aptui/multistatelineedit.h"
#include "aptui/pinbutton.h"
#include "aptui/targetpath.h"
#include "aptui/windowtitle.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "devicelist/devicereportqueue.h"
#include "discovery/deviceinfo.h"
#include "discovery/onvifrecord.h"
#include "discovery/voskhandler.h"
#include "export/devicesinfosavepage.h"
#include "netparam/devicemodifypage.h"
#include "netparam/panemessage.h"
#include "operations/onvifdevices.h"
#include "password/batchreset.h"
#include "password/recoverydialogs.h"
#include "shell/aboutdialog.h"
#include "shell/shelllog.h"
#include "shell/tipdialog.h"
#include "aptui/warningdialog.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QStyle>

#include <algorithm>

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

// In windowStateFile(): the normal geometry (also while maximised) and
// whether the window was maximised.
const QString kGeometryKey = QStringLiteral("MainWindow/geometry");
const QString kMaximizedKey = QStringLiteral("MainWindow/maximized");

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

// The pane's bubbles open left of the pane, over the table, level with the
// field they speak about: over the pane they would hide that very field
// (and its neighbours) while the user reads what to correct there.
QPoint paneBubblePosition(const QWidget *pane, const PaneMessage &message)
{
    constexpr int kBubbleWidth = 310;
    constexpr int kGap = 8;
    const int height = message.tall ? 160 : 120;
    const QPoint paneTopLeft = pane->mapToGlobal(QPoint(0, 0));
    int y = message.position.y();
    if (message.field && message.field->isVisible())
        y = message.field->mapToGlobal(QPoint(0, message.field->height() / 2)).y() - height / 2;
    return QPoint(paneTopLeft.x() - kBubbleWidth - kGap, y);
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
    // A gutter as wide as the pin button right of the table page: the button
    // and its border stand there, pane folded or not, instead of over the
    // table's last column.
    m_contentLayout->addSpacing(kPinWidth);
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
    // ONVIF devices of every maker beside ours: one OnvifDevices per
    // program, made here unless start-up made it already.
    if (!OnvifDevices::instance())
        m_onvifDevices = new OnvifDevices(this);
    m_deviceDisplayPage->listenTo(OnvifDevices::instance());
    // Queued: the question is modal, and the refusal comes in the middle
    // of a sign-in's or an operation's reports.
    connect(OnvifDevices::instance(), &OnvifDevices::certificateRefused, this,
            &VOSKToolMainPage::askAboutCertificates, Qt::QueuedConnection);
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
    pane->setMessenger([this, pane](const PaneMessage &m) {
        // A bubble that stays until read and leaves the keyboard in the
        // field being typed in.
        WarningDialog::showLasting(paneBubblePosition(pane, m), m.kind, m.text, this, m.field, m.hint, m.tall);
    });
    pane->setRowIdReader([this](const DeviceKey &device) {
        const DeviceInfoModel *model = m_deviceDisplayPage->model();
        const int row = model->rowOf(device);
        return row < 0 ? QString() : model->text(row, ColumnId);
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
    if (m_onvifDevices)
        m_onvifDevices->stop();
}

void VOSKToolMainPage::startDiscovery()
{
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    handler->setDeviceFilterRule(apt::ConfigureManager::GetInstance()->getFilter());
    if (!handler->start()) {
        qCWarning(lcShell) << "[VOSKToolMainPage] discovery did not start, error" << handler->getLastError();
        apt::AppWarningDialog::show(tr("Initialization failed."), false);
    }
    // ONVIF discovery on the same interfaces (VOSK_INTERFACES pins both).
    // Without it the table still lists our own devices: logged, not shown.
    if (OnvifDevices *onvif = OnvifDevices::instance(); onvif && !onvif->start())
        qCWarning(lcShell) << "[VOSKToolMainPage] ONVIF discovery did not start";
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

void VOSKToolMainPage::setCertificateDialogRunner(DialogRunner runner)
{
    m_certificateDialogRunner = std::move(runner);
}

void VOSKToolMainPage::askAboutCertificates()
{
    OnvifDevices *devices = OnvifDevices::instance();
    if (!devices || m_askingCertificates)
        return;
    m_askingCertificates = true;
    for (const OnvifCertificates::Refusal &r : devices->certificates().refusals()) {
        const QString asked = r.endpoint + QLatin1Char('|') + QString::fromLatin1(r.presented.toHex());
        if (m_certificatesAsked.contains(asked))
            continue;
        m_certificatesAsked.insert(asked);
        OnvifTarget target;
        const QString where = devices->target(DeviceKey(QString(), QString(), VOSK::onvifEndpointId(r.endpoint)), &target)
            ? target.serviceAddress.host()
            : r.endpoint;
        TipDialog dialog(nullptr);
        dialog.setFixedSize(520, 300);
        dialog.setTitle(tr("Changed certificate"));
        dialog.setText(tr("The ONVIF device %1 shows another HTTPS certificate than the one trusted for it, and "
                          "nothing was sent to it.\nTrusted SHA-256: %2\nShown SHA-256: %3\nTrust the new "
                          "certificate? Only if the device was replaced or reset.")
                           .arg(where, OnvifCertificates::fingerprintText(r.pinned),
                                OnvifCertificates::fingerprintText(r.presented)));
        setCover(true);
        const int result = m_certificateDialogRunner ? m_certificateDialogRunner(dialog) : dialog.exec();
        setCover(false);
        if (result == QDialog::Accepted)
            devices->certificates().accept(r.endpoint, r.presented);
    }
    m_askingCertificates = false;
}

QString VOSKToolMainPage::windowStateFile()
{
    return TarnGUIToolkit::GetUserFilePath(QStringLiteral("MainWindow.ini"));
}

QRect VOSKToolMainPage::placeOnScreens(const QRect &geometry, const QList<QRect> &availableAreas)
{
    if (availableAreas.isEmpty() || !geometry.isValid())
        return geometry;
    QRect area = availableAreas.first();
    QRect placed = geometry;
    const auto holder = std::find_if(availableAreas.cbegin(), availableAreas.cend(),
                                     [&](const QRect &candidate) { return candidate.contains(geometry.topLeft()); });
    if (holder != availableAreas.cend())
        area = *holder;
    else
        placed.moveTopLeft(area.topLeft());
    placed.setWidth(qMin(placed.width(), area.width()));
    placed.setHeight(qMin(placed.height(), area.height()));
    // Shrunk or not, the whole window stays on its area.
    placed.moveRight(qMin(placed.right(), area.right()));
    placed.moveBottom(qMin(placed.bottom(), area.bottom()));
    return placed;
}

bool VOSKToolMainPage::restoreWindowState()
{
    const QSettings settings(windowStateFile(), QSettings::IniFormat);
    const QRect geometry = settings.value(kGeometryKey).toRect();
    if (!geometry.isValid() || geometry.width() < minimumWidth() || geometry.height() < minimumHeight())
        return false;
    QList<QRect> areas;
    if (const QScreen *primary = QGuiApplication::primaryScreen())
        areas << primary->availableGeometry();
    for (const QScreen *screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    setGeometry(placeOnScreens(geometry, areas));
    // Through the title, whose button shows the state and which keeps the
    // normal geometry to go back to.
    if (settings.value(kMaximizedKey).toBool() && !m_title->GetWidgetSizeFactory()->IsMaximized(this))
        m_title->maxOrRestoreWindow();
    return true;
}

void VOSKToolMainPage::saveWindowState()
{
    TarnGUIToolkit::CWidgetSizeFactory *factory = m_title->GetWidgetSizeFactory();
    QSettings settings(windowStateFile(), QSettings::IniFormat);
    settings.setValue(kGeometryKey, factory->NormalGeometry(this));
    settings.setValue(kMaximizedKey, factory->IsMaximized(this));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qCWarning(lcShell) << "[VOSKToolMainPage] the window state cannot be kept in" << settings.fileName();
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
    // Below the title bar, so that the title's buttons stay visible, and
    // wholly inside the window: from the cursor, the panel would run past
    // a window whose menu button sits near its right edge.
    const QSize menuSize = m_menu->sizeHint();
    const QRect area = rect().adjusted(0, m_title->mapTo(this, QPoint(0, m_title->height())).y(), 0, 0);
    QPoint topLeft = mapFromGlobal(QCursor::pos()) - QPoint(kMenuOffset, 0);
    topLeft.setY(area.top());
    topLeft.setX(qBound(area.left(), topLeft.x(), qMax(area.left(), area.right() + 1 - menuSize.width())));
    m_menu->popup(mapToGlobal(topLeft));
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
        saveWindowState();
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
