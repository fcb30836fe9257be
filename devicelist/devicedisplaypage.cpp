#include "devicelist/devicedisplaypage.h"

#include "ui_devicedisplaypage.h"

#include "aptui/ctableheaderview.h"
#include "aptui/ctableview.h"
#include "aptui/treeviewwithleftpixmapdelegate.h"
#include "devicelist/devicecolumnwidths.h"
#include "devicelist/deviceinfomodel.h"
#include "devicelist/devicelistlog.h"
#include "devicelist/devicereportqueue.h"
#include "devicelist/onvifprobedialog.h"
#include "devicelist/onvifsignindialog.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "aptui/identityquestion.h"
#include "aptui/warningdialog.h"
#include "operations/onvifdevices.h"

#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHoverEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <cstring>

namespace VoskTool {

namespace {

constexpr int kButtonMinimumWidth = 90;

// A dotted IPv4 address and nothing else. The text comes from the device
// over the network; anything else must not reach the browser as a URL.
bool isIpv4Address(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (const QChar c : part) {
            if (!c.isDigit() || c.unicode() > 0x7f)
                return false;
        }
        if (part.toInt() > 255)
            return false;
    }
    return true;
}

} // namespace

DeviceDisplayPage::DeviceDisplayPage(QWidget *parent)
    : DeviceDisplayPage(DeviceInfoModel::defaultConfigPath(), parent)
{
}

DeviceDisplayPage::DeviceDisplayPage(const QString &columnConfigPath, QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::DeviceDisplayPage>())
    , m_model(nullptr)
    , m_delegate(nullptr)
    , m_reports(nullptr)
    , m_urlOpener([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    m_ui->setupUi(this);
    m_model = new DeviceInfoModel(columnConfigPath, this);
    m_delegate = new aptui::TreeViewWithLeftPixmapDelegate(m_ui->m_tableViewVosk);
    DeviceReportQueue::Sink sink;
    sink.online = [this](const QVector<VOSK_DEVICE_INFO> &records) { onDevicesLogin(records); };
    sink.offline = [this](const VOSK_DEVICE_INFO &record) { onDeviceLogout(record); };
    sink.update = [this](const VOSK_DEVICE_INFO &record) { onDeviceUpdate(record); };
    m_reports = new DeviceReportQueue(std::move(sink), this);
    setUp();
}

DeviceDisplayPage::~DeviceDisplayPage() = default;

TarnGUIToolkit::CTableView *DeviceDisplayPage::tableView() const
{
    return m_ui->m_tableViewVosk;
}

void DeviceDisplayPage::listenTo(VOSK::VoskHandler *handler)
{
    m_reports->listenTo(handler);
}

void DeviceDisplayPage::listenTo(OnvifDevices *devices)
{
    if (!devices || devices == m_onvif)
        return;
    m_onvif = devices;
    m_reports->listenTo(devices);
    m_frameOnvifActions->show();
    // Both live on the GUI thread: plain connections, undone with either.
    connect(devices, &OnvifDevices::signInFinished, this, &DeviceDisplayPage::onSignInFinished);
    connect(devices, &OnvifDevices::signInDone, this, &DeviceDisplayPage::onSignInDone);
    connect(devices, &OnvifDevices::directedProbeProgress, this, &DeviceDisplayPage::onProbeProgress);
    connect(devices, &OnvifDevices::directedProbeFinished, this, &DeviceDisplayPage::onProbeFinished);
}

void DeviceDisplayPage::onProbeProgress(int asked, int total, int answered)
{
    // Beside the count while the addresses are asked; a sign-in under way
    // has the place first.
    if (isSigningIn())
        return;
    m_labelOnvifStatus->setText(tr("Find by address: %1 / %2 asked, %3 answered").arg(asked).arg(total).arg(answered));
}

void DeviceDisplayPage::onProbeFinished(int asked, int answered)
{
    if (isSigningIn())
        return;
    m_labelOnvifStatus->setText(tr("Find by address: %n device(s) found", nullptr, answered) + QLatin1String(" (")
                                + tr("%n address(es) asked", nullptr, asked) + QLatin1Char(')'));
}

void DeviceDisplayPage::setUrlOpener(UrlOpener opener)
{
    m_urlOpener = std::move(opener);
}

void DeviceDisplayPage::setSignInDialogRunner(SignInDialogRunner runner)
{
    m_signInRunner = std::move(runner);
}

void DeviceDisplayPage::setProbeDialogRunner(ProbeDialogRunner runner)
{
    m_probeRunner = std::move(runner);
}

void DeviceDisplayPage::setNotifier(Notifier notifier)
{
    m_notifier = std::move(notifier);
}

void DeviceDisplayPage::notify(const QString &text, bool error)
{
    if (m_notifier) {
        m_notifier(text, error);
        return;
    }
    const QPoint centre = mapToGlobal(rect().center()) - QPoint(155, 80);
    WarningDialog::showLasting(centre, error ? WarningDialog::KindError : WarningDialog::KindInformation, text, this,
                               nullptr, nullptr, true);
}

void DeviceDisplayPage::setUp()
{
    VOSK::registerMetaTypes();
    qRegisterMetaType<ModifyPage>("ModifyPage");
    qRegisterMetaType<ModifyPage>("VoskTool::ModifyPage");

    TarnGUIToolkit::CTableView *table = m_ui->m_tableViewVosk;
    table->setItemDelegate(m_delegate);
    table->setModel(m_model);

    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The ID column numbers the rows. A row-number header would repeat it,
    // and each time its width steps (at 10, 100, 1,000 rows) the whole table
    // is laid out and repainted in the middle of a discovery burst.
    table->verticalHeader()->hide();
    // One line per row: a cell too narrow is elided, not wrapped into a
    // second line that the row height cuts off.
    table->setWordWrap(false);

    table->setSortingEnabled(true);
    table->sortByColumn(m_model->columnIndex(ColumnId), Qt::AscendingOrder);
    DeviceColumnWidths::apply(*table, *m_model);

    QHeaderView *header = table->horizontalHeader();
    connect(m_ui->m_btnExportDeviceInfo, &QPushButton::clicked, this, &DeviceDisplayPage::onSaveDeviceInfoToExcel);
    connect(header, &QHeaderView::sectionClicked, this, &DeviceDisplayPage::onSortTable);
    connect(m_ui->m_btnRefreshDeviceInfo, &QPushButton::clicked, this, &DeviceDisplayPage::onManualUpdate);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &DeviceDisplayPage::onItemCheckChanged);
    connect(table, &QAbstractItemView::doubleClicked, this, &DeviceDisplayPage::onDoubleClickAction);
    connect(header, &QHeaderView::sectionMoved, this, &DeviceDisplayPage::onHeaderCountChanged);
    connect(header, &QHeaderView::sectionPressed, this, &DeviceDisplayPage::onHeaderPress);
    connect(m_ui->m_btnConfigReset, &QPushButton::clicked, this, &DeviceDisplayPage::onConfigResetPassword);
    connect(m_ui->m_btnConfigExportFile, &QPushButton::clicked, this, &DeviceDisplayPage::onConfigExportFile);

    // The keyboard reaches the table: Tab in and out of it (not from cell
    // to cell), the arrows move the current row, Space checks it (see
    // eventFilter()).
    table->setFocusPolicy(Qt::StrongFocus);
    table->setTabKeyNavigation(false);
    table->installEventFilter(this);
    table->viewport()->installEventFilter(this);
    table->setMouseTracking(true);
    table->viewport()->setMouseTracking(true);
    table->setAlternatingRowColors(true);
    table->ShowGridLine(false);

    // The buttons are at least 90 pixels wide and never narrower than their
    // text (longer in some languages): a minimum below the text would let
    // the layout squeeze them and cut the text on both sides.
    for (QPushButton *button : {m_ui->m_btnConfigReset, m_ui->m_btnExportDeviceInfo, m_ui->m_btnRefreshDeviceInfo,
                                m_ui->m_btnConfigExportFile}) {
        button->ensurePolished();
        button->setMinimumWidth(std::max(kButtonMinimumWidth, button->sizeHint().width()));
        // Reached by Tab as well as by the mouse (the style sheet shows
        // the focus).
        button->setFocusPolicy(Qt::StrongFocus);
    }

    // The count's caption (word-wrapped in the form) keeps one line wherever
    // there is room for it, and wraps only where the window is too narrow
    // for it and the buttons side by side (a 1024-pixel screen in English).
    QLabel *caption = m_ui->m_labelDeiceCount;
    caption->ensurePolished();
    caption->setMaximumWidth(caption->fontMetrics().horizontalAdvance(caption->text()) + 2 * caption->margin() + 2);
    caption->setSizePolicy(QSizePolicy::Expanding, caption->sizePolicy().verticalPolicy());
    // Room goes to the caption first (up to its one line), then to the gap
    // before the buttons.
    m_ui->horizontalLayout->setStretchFactor(m_ui->verticalLayoutCount, 1);

    m_labelOnvifStatus = new QLabel(this);
    m_labelOnvifStatus->setObjectName(QStringLiteral("m_labelOnvifStatus"));
    // Beside the count, in the room of the gap before the buttons: the
    // progress text must not widen a window made for a 1024-pixel screen.
    m_labelOnvifStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    const int countAt = m_ui->horizontalLayout->indexOf(m_ui->m_labelDeviceCountValue);
    m_ui->horizontalLayout->insertWidget(countAt + 1, m_labelOnvifStatus);

    buildOnvifActions();
    setActionButtonsEnabled(false);
}

void DeviceDisplayPage::buildOnvifActions()
{
    // A bar of its own between the count and the table, under the table's
    // other actions: the row above has no room left on a 1024-pixel screen.
    m_frameOnvifActions = new QFrame(this);
    m_frameOnvifActions->setObjectName(QStringLiteral("m_frameOnvifActions"));
    auto *row = new QHBoxLayout(m_frameOnvifActions);
    row->setContentsMargins(10, 0, 20, 8);
    row->setSpacing(10);
    row->addStretch(1);
    auto *label = new QLabel(tr("ONVIF devices:"), m_frameOnvifActions);
    label->setObjectName(QStringLiteral("m_labelOnvifActions"));
    row->addWidget(label);
    auto *signIn = new QPushButton(tr("Sign in"), m_frameOnvifActions);
    signIn->setObjectName(QStringLiteral("m_btnOnvifSignIn"));
    signIn->setToolTip(tr("User name and password for the ONVIF devices: all of them, or the checked ones"));
    auto *probe = new QPushButton(tr("Find by address"), m_frameOnvifActions);
    probe->setObjectName(QStringLiteral("m_btnOnvifProbe"));
    probe->setToolTip(tr("Search for ONVIF devices on another subnet"));
    for (QPushButton *button : {signIn, probe}) {
        button->setMinimumHeight(30);
        button->ensurePolished();
        button->setMinimumWidth(std::max(kButtonMinimumWidth, button->sizeHint().width()));
        row->addWidget(button);
    }
    connect(signIn, &QPushButton::clicked, this, &DeviceDisplayPage::onOnvifSignIn);
    connect(probe, &QPushButton::clicked, this, &DeviceDisplayPage::onOnvifProbe);
    m_ui->verticalLayout->insertWidget(m_ui->verticalLayout->indexOf(m_ui->m_tableViewVosk), m_frameOnvifActions);
    m_frameOnvifActions->hide();
}

QVector<DeviceKey> DeviceDisplayPage::onvifDevices() const
{
    QVector<DeviceKey> keys;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        DeviceKey key = m_model->keyAt(row);
        if (key.isOnvif())
            keys << std::move(key);
    }
    return keys;
}

void DeviceDisplayPage::onOnvifSignIn()
{
    if (!m_onvif || isSigningIn())
        return;
    const QVector<DeviceKey> all = onvifDevices();
    if (all.isEmpty()) {
        notify(tr("No ONVIF device is listed. \"Find by address\" finds devices on another subnet."), false);
        return;
    }
    QVector<DeviceKey> checked;
    for (const DeviceKey &key : checkedDevices()) {
        if (key.isOnvif())
            checked << key;
    }
    OnvifSignInDialog dialog(int(checked.size()), this);
    emit signalCoverMainPage();
    const int result = m_signInRunner ? m_signInRunner(dialog) : dialog.exec();
    emit signalDisCoverMainPage();
    if (result != QDialog::Accepted)
        return;
    const OnvifCredentials credentials = dialog.credentials();
    QVector<DeviceKey> devices;
    bool picked = false;
    if (dialog.checkedOnly() && !checked.isEmpty()) {
        // Checked devices whose identity is in question (a twin, heard
        // where they were not signed in, or naming another host) get the
        // credentials only once the user confirms them.
        if (!IdentityQuestion::confirm(this, checked))
            return;
        picked = true;
        // These devices' own: they take precedence over the ones for all.
        for (const DeviceKey &key : std::as_const(checked))
            m_onvif->setCredentials(key, credentials);
        devices = checked;
    } else {
        m_onvif->setCredentials(credentials);
        devices = all;
    }
    m_signIn = {int(devices.size()), 0, 0, 0, 0, 0};
    m_signInPending = QSet<DeviceKey>(devices.cbegin(), devices.cend());
    updateSignInStatus();
    qCInfo(lcDeviceList) << "[DeviceDisplayPage] signing in to" << devices.size() << "ONVIF devices";
    m_onvif->signIn(devices, picked);
}

void DeviceDisplayPage::onSignInFinished(const DeviceKey &device, const OperationOutcome &outcome)
{
    // The ONVIF side also reads devices again by itself (one heard at a new
    // address): only the devices asked here count.
    if (!isSigningIn() || !m_signInPending.remove(device))
        return;
    ++m_signIn.finished;
    switch (outcome.status) {
    case OperationStatus::Done:
        break;
    case OperationStatus::Denied:
    case OperationStatus::Locked:
        ++m_signIn.refused;
        break;
    case OperationStatus::NotActivated:
        ++m_signIn.notActivated;
        break;
    case OperationStatus::Cancelled:
        ++m_signIn.heldBack;
        break;
    default:
        ++m_signIn.unanswered;
        break;
    }
    updateSignInStatus();
}

void DeviceDisplayPage::onSignInDone()
{
    if (!isSigningIn())
        return;
    // Done means every read under way has ended; a device asked here that
    // was never reported on could not be read.
    SignInProgress done = m_signIn;
    done.unanswered += int(m_signInPending.size());
    m_signIn = {};
    m_signInPending.clear();
    updateSignInStatus();
    if (done.refused == 0 && done.unanswered == 0 && done.notActivated == 0 && done.heldBack == 0)
        return;
    QStringList lines;
    if (done.heldBack > 0)
        lines << tr("%n ONVIF device(s) were sent nothing: another device shares their identity, they answer where "
                    "they were not signed in, or they name another host. Check the one you mean and sign in to it "
                    "alone.",
                    nullptr, done.heldBack);
    if (done.refused > 0)
        lines << tr("%n ONVIF device(s) refused the user name or password. Their rows say \"sign-in refused\"; "
                    "check them and sign in to them with their own password.",
                    nullptr, done.refused);
    if (done.notActivated > 0)
        lines << tr("%n ONVIF device(s) are not activated and have no user to sign in as: activate them first.",
                    nullptr, done.notActivated);
    if (done.unanswered > 0)
        lines << tr("%n ONVIF device(s) could not be read (no answer or an error).", nullptr, done.unanswered);
    notify(lines.join(QLatin1Char('\n')), true);
}

void DeviceDisplayPage::updateSignInStatus()
{
    if (!isSigningIn()) {
        m_labelOnvifStatus->clear();
        return;
    }
    m_labelOnvifStatus->setText(tr("Signing in: %1 / %2").arg(m_signIn.finished).arg(m_signIn.total));
}

void DeviceDisplayPage::onOnvifProbe()
{
    if (!m_onvif)
        return;
    OnvifProbeDialog dialog(this);
    emit signalCoverMainPage();
    const int result = m_probeRunner ? m_probeRunner(dialog) : dialog.exec();
    emit signalDisCoverMainPage();
    if (result != QDialog::Accepted)
        return;
    if (!m_onvif->probeAddresses(dialog.addresses()))
        notify(tr("The search could not be sent: ONVIF discovery is not running."), true);
    else
        onProbeProgress(0, int(dialog.addresses().size()), 0);
}

void DeviceDisplayPage::setActionButtonsEnabled(bool enabled)
{
    m_ui->m_btnExportDeviceInfo->setEnabled(enabled);
    m_ui->m_btnConfigReset->setEnabled(enabled);
    m_ui->m_btnConfigExportFile->setEnabled(enabled);
}

void DeviceDisplayPage::updateCountLabel()
{
    m_ui->m_labelDeviceCountValue->setText(QString::number(m_model->rowCount()));
}

void DeviceDisplayPage::onSaveDeviceInfoToExcel()
{
    emit signalExportRequested();
}

bool DeviceDisplayPage::storeUnlessListed(const VOSK_DEVICE_INFO &record)
{
    DeviceStore *store = DeviceStore::instance();
    {
        const DeviceStore::Locker locker(store);
        // A device is listed once, by its whole key. Another device that
        // announces the same MAC (or serial number) is listed too: merging
        // the two would send what is meant for one to the other.
        if (store->indexOf(DeviceKey::fromRecord(record)) >= 0)
            return false;
    }
    store->addDevice(record);
    return true;
}

void DeviceDisplayPage::markIdentity(const DeviceKey &key)
{
    DeviceStore *store = DeviceStore::instance();
    const QVector<DeviceKey> others = store->sharingIdentity(key);
    m_model->setAmbiguous(key, !others.isEmpty());
    for (const DeviceKey &other : others)
        m_model->setAmbiguous(other, store->isAmbiguous(other));
}

void DeviceDisplayPage::onDeviceLogin(VOSK_DEVICE_INFO struDevInfo)
{
    if (storeUnlessListed(struDevInfo)) {
        m_model->addDevice(struDevInfo);
        const DeviceKey key = DeviceKey::fromRecord(struDevInfo);
        markIdentity(key);
        recheckReturned({key});
    }
    updateCountLabel();
}

void DeviceDisplayPage::recheckReturned(const QVector<DeviceKey> &keys)
{
    // A new row is unchecked, but for a device that was checked when it
    // went away (a new address makes some devices say goodbye and come
    // back): its check comes back with it, on its new row.
    if (m_checkedAway.isEmpty())
        return;
    m_recheckingReturned = true;
    for (const DeviceKey &key : keys) {
        if (m_checkedAway.remove(key))
            m_model->setCheckState(m_model->rowOf(key), Qt::Checked);
    }
    m_recheckingReturned = false;
}

void DeviceDisplayPage::onDevicesLogin(const QVector<VOSK_DEVICE_INFO> &records)
{
    // Stored one by one, so that a device repeated within the run is listed
    // once; the new rows then join the table as one insertion.
    QVector<VOSK_DEVICE_INFO> added;
    added.reserve(records.size());
    for (const VOSK_DEVICE_INFO &record : records) {
        if (storeUnlessListed(record))
            added << record;
    }
    m_model->addDevices(added);
    QVector<DeviceKey> keys;
    keys.reserve(added.size());
    for (const VOSK_DEVICE_INFO &record : std::as_const(added)) {
        keys << DeviceKey::fromRecord(record);
        markIdentity(keys.constLast());
    }
    recheckReturned(keys);
    updateCountLabel();
}

void DeviceDisplayPage::onDeviceLogout(VOSK_DEVICE_INFO struDevInfo)
{
    const DeviceKey key = DeviceKey::fromRecord(struDevInfo);
    if (m_model->checkState(m_model->rowOf(key)) == Qt::Checked)
        m_checkedAway.insert(key);
    DeviceStore *store = DeviceStore::instance();
    // An ONVIF row's halves are in its stored record only: who shared them
    // is asked before it goes.
    const QVector<DeviceKey> before = key.isOnvif() ? store->sharingIdentity(key) : QVector<DeviceKey>();
    m_model->removeDevice(struDevInfo);
    store->removeDevice(struDevInfo);
    // The devices that shared its identity may stand alone now.
    markIdentity(key);
    for (const DeviceKey &other : before)
        m_model->setAmbiguous(other, store->isAmbiguous(other));
    updateCountLabel();
    // Sent even when the count stays: the device may have been checked and
    // replaced in the count by another.
    evaluateSelection(true);
}

void DeviceDisplayPage::onDeviceUpdate(VOSK_DEVICE_INFO struDevInfo)
{
    const DeviceKey key = DeviceKey::fromRecord(struDevInfo);
    DeviceStore *store = DeviceStore::instance();
    // An ONVIF row's serial number and MAC come with the report of its
    // sign-in: the devices it shared them with before, and those it shares
    // them with now, are marked anew.
    const QVector<DeviceKey> before = key.isOnvif() ? store->sharingIdentity(key) : QVector<DeviceKey>();
    m_model->updateDevice(struDevInfo);
    store->updateDevice(struDevInfo);
    // A checked device reported new values (a sign-in, an activation, new
    // parameters): the pane shows them. A burst of reports makes one
    // refresh, after the burst.
    if (!m_selectionRefreshPosted && m_model->checkState(m_model->rowOf(key)) == Qt::Checked) {
        m_selectionRefreshPosted = true;
        QMetaObject::invokeMethod(this, &DeviceDisplayPage::refreshSelection, Qt::QueuedConnection);
    }
    if (key.isOnvif()) {
        markIdentity(key);
        for (const DeviceKey &other : before)
            m_model->setAmbiguous(other, store->isAmbiguous(other));
    }
}

void DeviceDisplayPage::refreshSelection()
{
    m_selectionRefreshPosted = false;
    evaluateSelection(true);
}

void DeviceDisplayPage::onManualUpdate()
{
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    if (!handler->clearup())
        qCInfo(lcDeviceList) << "[DeviceDisplayPage] clearing the library's devices failed:" << handler->getLastError();
    // The ONVIF rows stay: their discovery keeps its devices until they say
    // Bye or fall silent, and a new probe reports only what changed. They
    // come back unchecked, numbered first, with their sign-in kept.
    QVector<VOSK_DEVICE_INFO> onvifRows;
    if (m_onvif) {
        for (const VOSK_DEVICE_INFO &record : DeviceStore::instance()->getAllDevices()) {
            if (VOSK::isOnvifRecord(record))
                onvifRows << record;
        }
    }
    DeviceStore::instance()->clear();
    // Reports still on their way describe the table being thrown away; the
    // inquiry below has every device report again.
    m_reports->discard();
    // Every row comes back unchecked, those of devices away too.
    m_checkedAway.clear();
    m_model->removeRows(0, m_model->rowCount());
    for (const VOSK_DEVICE_INFO &record : std::as_const(onvifRows))
        DeviceStore::instance()->addDevice(record);
    m_model->addDevices(onvifRows);
    updateCountLabel();
    sendSelection({});
    m_lastCheckedCount = 0;
    // Every device answers again as a new, unchecked row.
    if (!handler->sendInquiry())
        qCInfo(lcDeviceList) << "[DeviceDisplayPage] inquiry failed:" << handler->getLastError();
    if (m_onvif)
        m_onvif->probe();
}

void DeviceDisplayPage::onTableviewRowChanged(QItemSelection selected, QItemSelection deselected)
{
    // The row highlight drives nothing; the check boxes are the selection.
    Q_UNUSED(selected)
    Q_UNUSED(deselected)
}

void DeviceDisplayPage::refreshSucceededRows(const QVector<DeviceInfo> &results)
{
    const QString succeed = tr("Succeed");
    DeviceStore *store = DeviceStore::instance();
    for (const DeviceInfo &info : results) {
        if (info.result != succeed)
            continue;
        VOSK_DEVICE_INFO record;
        std::memset(&record, 0, sizeof record);
        // The pane has written the new values into the store already.
        if (store->getDevice(info.key(), record))
            m_model->updateDevice(record);
    }
}

void DeviceDisplayPage::onDevicesModifyResult(QVector<DeviceInfo> vecDeviceInfo)
{
    refreshSucceededRows(vecDeviceInfo);
}

void DeviceDisplayPage::onDevicesActiveResult(QVector<DeviceInfo> vecDeviceInfo)
{
    refreshSucceededRows(vecDeviceInfo);
    // Activated devices move the pane from activation to modification.
    evaluateSelection(true);
}

void DeviceDisplayPage::onSortTable(int iIndex)
{
    QHeaderView *header = m_ui->m_tableViewVosk->horizontalHeader();
    header->setSortIndicatorShown(true);
    m_ui->m_tableViewVosk->sortByColumn(iIndex, header->sortIndicatorOrder());
}

void DeviceDisplayPage::onItemCheckChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                           const QList<int> &roles)
{
    // Texts rewritten by an update or a renumbering are no check change;
    // counting the checked rows for each of them would cost a pass over the
    // table per report.
    const int check = m_model->columnIndex(ColumnCheck);
    if (topLeft.column() > check || bottomRight.column() < check)
        return;
    if (!roles.isEmpty() && !roles.contains(Qt::CheckStateRole))
        return;
    // The user picks again: a device away is no longer among the picked
    // ones when it comes back.
    if (!m_recheckingReturned)
        m_checkedAway.clear();
    evaluateSelection(false);
}

void DeviceDisplayPage::onDoubleClickAction(const QModelIndex &miIndex)
{
    if (!miIndex.isValid() || miIndex.column() != m_model->columnIndex(ColumnIpv4Address))
        return;
    const int row = miIndex.row();
    const QString address = m_model->text(row, ColumnIpv4Address).trimmed();
    QString port = m_model->text(row, ColumnHttpPort).trimmed();
    // The model writes "N/A" for a device without an HTTP port: the
    // browser's default port then.
    if (port == DeviceInfoModel::tr("N/A") || port.isEmpty())
        port = QStringLiteral("80");
    bool portOk = false;
    const int portNumber = port.toInt(&portOk);
    if (!isIpv4Address(address) || !portOk || portNumber < 1 || portNumber > 65535) {
        qCInfo(lcDeviceList) << "[DeviceDisplayPage] no web page for address" << address << "port" << port;
        return;
    }
    const QUrl url(QStringLiteral("http://") + address + QLatin1Char(':') + QString::number(portNumber));
    if (!m_urlOpener(url))
        qCInfo(lcDeviceList) << "[DeviceDisplayPage] could not open" << url;
}

void DeviceDisplayPage::onHeaderCountChanged(int iLogicalIndex, int iOldVisualIndex, int iNewVisualIndex)
{
    if (iLogicalIndex < 0)
        return;
    const bool fixedPlace = iOldVisualIndex <= 1 || iNewVisualIndex <= 1;
    if (!fixedPlace) {
        if (!m_model->moveColumn(iLogicalIndex, iOldVisualIndex, iNewVisualIndex))
            qCInfo(lcDeviceList) << "[DeviceDisplayPage] column order not saved";
        return;
    }
    // The check and ID columns keep the first two places: undo the drop.
    QHeaderView *header = m_ui->m_tableViewVosk->horizontalHeader();
    const QSignalBlocker blocker(header);
    header->moveSection(iNewVisualIndex, iOldVisualIndex);
}

void DeviceDisplayPage::onHeaderPress(int iLogicalIndex)
{
    QHeaderView *header = m_ui->m_tableViewVosk->horizontalHeader();
    const bool fixed = iLogicalIndex == m_model->columnIndex(ColumnCheck)
                    || iLogicalIndex == m_model->columnIndex(ColumnId);
    header->setSectionsMovable(!fixed);
}

void DeviceDisplayPage::onConfigResetPassword()
{
    const QVector<DeviceKey> devices = recoverableCheckedDevices();
    if (!devices.isEmpty() && IdentityQuestion::confirm(this, devices))
        emit signalConfigResetRequested(devices);
}

void DeviceDisplayPage::onConfigExportFile()
{
    const QVector<DeviceKey> devices = recoverableCheckedDevices();
    if (!devices.isEmpty() && IdentityQuestion::confirm(this, devices))
        emit signalConfigExportRequested(devices);
}

QVector<DeviceKey> DeviceDisplayPage::recoverableCheckedDevices()
{
    // Password recovery through a device key is our protocol's own; ONVIF
    // has nothing like it. The ONVIF rows stay out, and the user is told.
    QVector<DeviceKey> devices;
    int onvif = 0;
    for (const DeviceKey &key : checkedDevices()) {
        if (key.isOnvif())
            ++onvif;
        else
            devices << key;
    }
    if (onvif > 0) {
        const QString why = tr("Password recovery is not part of ONVIF: %n checked ONVIF device(s) are left out. "
                               "Reset their password with the maker's own means.",
                               nullptr, onvif);
        notify(devices.isEmpty() ? why : why + QLatin1Char('\n') + tr("The other devices go on."), devices.isEmpty());
    }
    return devices;
}

QVector<DeviceKey> DeviceDisplayPage::checkedDevices() const
{
    QVector<DeviceKey> devices;
    for (const int row : checkedRows())
        devices << m_model->keyAt(row);
    return devices;
}

bool DeviceDisplayPage::eventFilter(QObject *watched, QEvent *event)
{
    TarnGUIToolkit::CTableView *table = m_ui->m_tableViewVosk;
    QWidget *viewport = table->viewport();
    if (watched == table && event->type() == QEvent::FocusIn && !table->currentIndex().isValid()
        && m_model->rowCount() > 0) {
        // Tabbed into: a current row to start from, shown but not selected.
        table->selectionModel()->setCurrentIndex(m_model->index(0, m_model->columnIndex(ColumnCheck)),
                                                 QItemSelectionModel::NoUpdate);
    }
    if (watched == table && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const QModelIndex current = table->currentIndex();
        if ((key->key() == Qt::Key_Space || key->key() == Qt::Key_Select) && key->modifiers() == Qt::NoModifier) {
            // Space checks or unchecks the current row, whichever cell is
            // current: the check box is the selection, not the highlight.
            if (current.isValid()) {
                const int row = current.row();
                m_model->setCheckState(row, m_model->checkState(row) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            }
            return true;
        }
    }
    if ((watched == table || watched == viewport)
        && (event->type() == QEvent::HoverMove || event->type() == QEvent::MouseMove)) {
        QPointF position;
        if (event->type() == QEvent::HoverMove)
            position = static_cast<QHoverEvent *>(event)->position();
        else
            position = static_cast<QMouseEvent *>(event)->position();
        QPoint point = position.toPoint();
        if (watched == table)
            point = viewport->mapFrom(table, point);
        const QModelIndex index = table->indexAt(point);
        const bool overAddress = index.isValid() && index.column() == m_model->columnIndex(ColumnIpv4Address);
        viewport->setCursor(overAddress ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    return QWidget::eventFilter(watched, event);
}

QVector<int> DeviceDisplayPage::checkedRows() const
{
    QVector<int> rows;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->checkState(row) == Qt::Checked)
            rows << row;
    }
    return rows;
}

void DeviceDisplayPage::evaluateSelection(bool forced)
{
    const QVector<int> rows = checkedRows();
    const int count = static_cast<int>(rows.size());
    if (!forced && count == m_lastCheckedCount)
        return;
    sendSelection(rows);
    m_lastCheckedCount = count;
}

DeviceInfo DeviceDisplayPage::deviceInfoOfRow(int row) const
{
    DeviceInfo info;
    info.id = m_model->text(row, ColumnId);
    info.deviceType = m_model->text(row, ColumnDeviceType);
    info.ipv4Address = m_model->text(row, ColumnIpv4Address);
    // The key comes from the row itself: it is what finds the device again
    // in the store and the model, whatever the cells show. An ONVIF row's
    // key is its endpoint; its serial number and MAC are what it shows
    // (empty until sign-in).
    DeviceKey key = m_model->keyAt(row);
    if (key.isOnvif()) {
        info.endpointId = std::move(key.endpointId);
        info.serialNumber = m_model->text(row, ColumnSerialNumber);
        info.mac = m_model->text(row, ColumnMac);
    } else {
        info.serialNumber = std::move(key.serialNumber);
        info.mac = std::move(key.mac);
    }
    info.result = QStringLiteral("0");
    return info;
}

quint8 DeviceDisplayPage::activationOf(const DeviceInfo &info) const
{
    VOSK_DEVICE_INFO record;
    std::memset(&record, 0, sizeof record);
    // A device missing from the store reads as zeros, that is activated.
    DeviceStore::instance()->getDevice(info.key(), record);
    return record.notActivated;
}

void DeviceDisplayPage::sendSelection(const QVector<int> &rows)
{
    if (rows.isEmpty()) {
        setActionButtonsEnabled(false);
        Q_EMIT signalCurrentSelectionModelChange(ModifySingle, {});
        return;
    }
    setActionButtonsEnabled(true);
    if (rows.size() == 1) {
        const DeviceInfo info = deviceInfoOfRow(rows.first());
        switch (activationOf(info)) {
        case 0: Q_EMIT signalCurrentSelectionModelChange(ModifySingle, {info}); break;
        case 1: Q_EMIT signalCurrentSelectionModelChange(ActivateSingle, {info}); break;
        default: break; // a state the tool does not know: no page for it
        }
        return;
    }
    QVector<DeviceInfo> devices;
    devices.reserve(rows.size());
    bool activated = false;
    bool notActivated = false;
    for (const int row : rows) {
        const DeviceInfo info = deviceInfoOfRow(row);
        devices << info;
        // Missing from the store reads as 0, activated, as for one row.
        const quint8 state = activationOf(info);
        activated = activated || state == 0;
        notActivated = notActivated || state == 1;
    }
    if (activated && notActivated)
        Q_EMIT signalCurrentSelectionModelChange(ModifyMixed, devices);
    else if (activated)
        Q_EMIT signalCurrentSelectionModelChange(ModifyBatch, devices);
    else if (notActivated)
        Q_EMIT signalCurrentSelectionModelChange(ActivateBatch, devices);
}

} // namespace VoskTool

#include "moc_devicedisplaypage.cpp"
