#pragma once

#include "discovery/modifypage.h"
#include "discovery/deviceinfo.h"
#include "vosk/vosk.h"

#include <QItemSelection>
#include <QPointer>
#include <QSet>
#include <QModelIndex>
#include <QUrl>
#include <QVector>
#include <QWidget>

#include <functional>
#include <memory>

namespace TarnGUIToolkit {
class CTableView;
}
namespace aptui {
class TreeViewWithLeftPixmapDelegate;
}
namespace VOSK {
class VoskHandler;
}

class QFrame;
class QLabel;

namespace VoskTool {

namespace Ui {
class DeviceDisplayPage;
}
class DeviceInfoModel;
class DeviceReportQueue;
class OnvifDevices;
class OnvifProbeDialog;
class OnvifSignInDialog;
struct OperationOutcome;

// The left side of the main window: the table of online devices with their
// count and the "Config Reset", "Export", "Refresh" and "Config Export"
// buttons.
//
// It keeps the table model and the DeviceStore in step with the discovery
// handler's reports (listenTo(), or the handler's signalDeviceOnline/
// Offline/Update connected to onDeviceLogin/Logout/Update), turns the check
// boxes into the current selection (signalCurrentSelectionModelChange),
// refreshes rows from the store when the right-hand pane reports results,
// and keeps the column order in ColumnConfig.xml when the user drags a
// column.
//
// GUI thread only.
class DeviceDisplayPage final : public QWidget
{
    Q_OBJECT

public:
    // Opens a URL in the desktop's browser; returns whether it could.
    using UrlOpener = std::function<bool(const QUrl &)>;
    // Runs the ONVIF sign-in / directed-probe dialog; by default exec().
    // Tests answer in the user's place.
    using SignInDialogRunner = std::function<int(OnvifSignInDialog &dialog)>;
    using ProbeDialogRunner = std::function<int(OnvifProbeDialog &dialog)>;
    // Shows a notice of the page (how a sign-in went, why nothing was
    // done); by default the message bubble. `error` picks its icon.
    using Notifier = std::function<void(const QString &text, bool error)>;

    explicit DeviceDisplayPage(QWidget *parent = nullptr);
    // The same with the model's ColumnConfig.xml at columnConfigPath.
    DeviceDisplayPage(const QString &columnConfigPath, QWidget *parent);
    ~DeviceDisplayPage() override;

    DeviceInfoModel *model() const { return m_model; }
    TarnGUIToolkit::CTableView *tableView() const;
    // Replaces QDesktopServices::openUrl for the double click (tests).
    void setUrlOpener(UrlOpener opener);
    // Model rows whose check box is fully checked, top to bottom.
    QVector<int> checkedRows() const;
    // The keys of the checked rows, top to bottom.
    QVector<DeviceKey> checkedDevices() const;
    // Takes the handler's reports through the page's report queue: a burst
    // of reports becomes runs of rows added at once, delivered a few
    // milliseconds per turn of the event loop, with the same rows, order
    // and counts as one call of onDeviceLogin/Logout/Update per report.
    void listenTo(VOSK::VoskHandler *handler);
    // The same for the ONVIF side's records; from then on onOnvifSignIn()
    // and onOnvifProbe() act, the page shows their buttons ("Sign in" and
    // "Find by address", in a bar above the table: they concern the whole
    // list), and a refresh probes again and keeps the ONVIF rows. Null (a
    // program without the ONVIF side) is ignored.
    void listenTo(OnvifDevices *devices);
    DeviceReportQueue *reportQueue() const { return m_reports; }

    void setSignInDialogRunner(SignInDialogRunner runner);
    void setProbeDialogRunner(ProbeDialogRunner runner);
    void setNotifier(Notifier notifier);
    // Whether a sign-in started from the page is still under way.
    bool isSigningIn() const { return m_signIn.total > 0; }
    // The keys of every ONVIF row, top to bottom.
    QVector<DeviceKey> onvifDevices() const;

    bool eventFilter(QObject *watched, QEvent *event) override;

Q_SIGNALS:
    void signalCurrentSelectionModelChange(ModifyPage modifyPageType, QVector<DeviceInfo> vecDeviceInfo);
    // Before and after a modal dialog of the page: whoever holds the page
    // (the main window) dims itself meanwhile.
    void signalCoverMainPage();
    void signalDisCoverMainPage();
    // The page's buttons ask for dialogs of other features; whoever holds
    // the page (the main window) opens them. Export works on the model's
    // checked rows (checkedRows()), the two phases of the batch reset on
    // the checked devices, top to bottom.
    void signalExportRequested();
    void signalConfigExportRequested(QVector<DeviceKey> devices);
    void signalConfigResetRequested(QVector<DeviceKey> devices);

public Q_SLOTS:
    void onSaveDeviceInfoToExcel();
    void onDeviceLogin(VOSK_DEVICE_INFO struDevInfo);
    // The same as onDeviceLogin for each record in turn, the count label
    // updated once at the end.
    void onDevicesLogin(const QVector<VOSK_DEVICE_INFO> &records);
    void onDeviceLogout(VOSK_DEVICE_INFO struDevInfo);
    void onDeviceUpdate(VOSK_DEVICE_INFO struDevInfo);
    void onManualUpdate();
    void onTableviewRowChanged(QItemSelection selected, QItemSelection deselected);
    void onDevicesModifyResult(QVector<DeviceInfo> vecDeviceInfo);
    void onDevicesActiveResult(QVector<DeviceInfo> vecDeviceInfo);
    void onSortTable(int iIndex);
    // A change of the model's cells: only a check box's change (or an
    // unspecified one) over the check column counts.
    void onItemCheckChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles);
    void onDoubleClickAction(const QModelIndex &miIndex);
    void onHeaderCountChanged(int iLogicalIndex, int iOldVisualIndex, int iNewVisualIndex);
    void onHeaderPress(int iLogicalIndex);
    void onConfigResetPassword();
    void onConfigExportFile();
    // "Sign in": asks for credentials and signs the ONVIF rows in (the
    // checked ones or all, as the user chose), without blocking; the
    // progress shows beside the count, each row's outcome in its protocol
    // cell, and a notice sums up refusals and silence at the end.
    void onOnvifSignIn();
    // "Find by address": asks for addresses or ranges and probes them.
    void onOnvifProbe();

private:
    void setUp();
    void buildOnvifActions();
    void updateCountLabel();
    void setActionButtonsEnabled(bool enabled);
    // Stores the record unless its key (serial number and MAC) is listed
    // already; true when it did (the caller then adds its row).
    bool storeUnlessListed(const VOSK_DEVICE_INFO &record);
    // Brings the ambiguity marks of the key's row and of every row sharing
    // its MAC or serial number up to date with the store.
    void markIdentity(const DeviceKey &key);
    // Sends the selection when the checked count differs from the last one
    // sent, or always when forced.
    void evaluateSelection(bool forced);
    void sendSelection(const QVector<int> &rows);
    DeviceInfo deviceInfoOfRow(int row) const;
    // The stored record's notActivated byte; 0 (activated) when the device is
    // not in the store.
    quint8 activationOf(const DeviceInfo &info) const;
    void refreshSucceededRows(const QVector<DeviceInfo> &results);
    void notify(const QString &text, bool error);
    // The checked devices a password recovery can act on: ONVIF rows are
    // left out, with a notice when there were any.
    QVector<DeviceKey> recoverableCheckedDevices();
    // Checks again the rows of devices that were checked when they went
    // offline (see m_checkedAway).
    void recheckReturned(const QVector<DeviceKey> &keys);
    // Sends the selection again (posted after a checked device's report).
    void refreshSelection();
    void onSignInFinished(const DeviceKey &device, const OperationOutcome &outcome);
    void onSignInDone();
    void updateSignInStatus();
    // "Find by address" under way and done, beside the count.
    void onProbeProgress(int asked, int total, int answered);
    void onProbeFinished(int asked, int answered);

    // The sign-in under way: how many devices, how many answered and how.
    struct SignInProgress
    {
        int total = 0, finished = 0, refused = 0, notActivated = 0, unanswered = 0, heldBack = 0;
    };

    std::unique_ptr<Ui::DeviceDisplayPage> m_ui;
    DeviceInfoModel *m_model;                            // child of the page
    aptui::TreeViewWithLeftPixmapDelegate *m_delegate;   // child of the table
    DeviceReportQueue *m_reports;                        // child of the page
    int m_lastCheckedCount = -1;
    UrlOpener m_urlOpener;
    QPointer<OnvifDevices> m_onvif;
    QLabel *m_labelOnvifStatus = nullptr;    // beside the count
    QFrame *m_frameOnvifActions = nullptr;   // above the table, shown with the ONVIF side
    SignInDialogRunner m_signInRunner;
    ProbeDialogRunner m_probeRunner;
    Notifier m_notifier;
    SignInProgress m_signIn;
    QSet<DeviceKey> m_signInPending; // asked, not yet reported on
    // Devices checked when they went offline: their check returns with
    // them, until the user changes any check or refreshes the table.
    QSet<DeviceKey> m_checkedAway;
    bool m_recheckingReturned = false;
    bool m_selectionRefreshPosted = false;
};

} // namespace VoskTool
