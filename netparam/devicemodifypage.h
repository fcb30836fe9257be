#pragma once

#include "discovery/modifypage.h"
#include "discovery/deviceinfo.h"
#include "netparam/panemessage.h"
#include "netparam/rules/passwordpolicy.h"
#include "operations/netparams.h"
#include "operations/operationrunner.h"

#include <QHash>
#include <QVector>
#include <QWidget>

#include <functional>
#include <memory>

class QDialog;
class QFrame;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace aptui {
class MultiStateLineEdit;
}

namespace VoskTool {

class ChangeConfirmer;
class NewPasswordRows;
class DeviceActivePage;
class DeviceNetParaPage;

// The right-hand pane of the main window. It receives the table's checked
// devices (onCurrentSelectionChange) and shows one of six states: nothing
// selected, the network-parameter form for one device or for a batch, the
// activation form for one or several devices that are not activated, or a
// notice for a selection that mixes both. ONVIF rows (keyed by their
// endpoint) take the same forms, less what the standard lacks: no device
// port, no password recovery (the pane says so), nothing before sign-in,
// and a device that needs its maker's own activation gets a notice instead
// of the activation form. A batch may mix both kinds: DeviceKinds picks
// each device's operations. Under the network-parameter form, "Change
// Password" opens the password change of the checked devices: the current
// password, the new one twice under the password policy with its meter.
//
// Operations check their fields first and send nothing when a check fails,
// nor when a new address is held by another listed device or given twice
// (the message lists each clash). Every device operation runs off the GUI
// thread through the operations core (OperationRunner): one device while
// the pane shows it is busy (its buttons disabled, "Please wait..."),
// reported in a bubble; a batch, up to maxInFlight() devices at once,
// behind a waiting dialog that counts them and offers Cancel, then the
// result list in table order ("Retry failed", "Save"). After new network
// parameters were taken the pane waits for each device's report of them
// ("applied" or "sent, not seen since"); the stored records and the table
// show only what the devices report. Results go to the table page as
// signalModifyResult / signalActiveResult, each device's `result` being
// tr("Succeed") or an error text.
//
// signalCoverMainPage/signalDisCoverMainPage bracket every modal dialog it
// runs; the main window connects them to its cover.
// GUI thread only.
class DeviceModifyPage final : public QWidget
{
    Q_OBJECT

public:
    // Runs a modal dialog (the result list); by default dialog.exec().
    using DialogRunner = std::function<int(QDialog &dialog)>;

    explicit DeviceModifyPage(QWidget *parent = nullptr);
    ~DeviceModifyPage() override;

    // Where the pane's messages go; without one they are only logged.
    void setMessenger(PaneMessenger messenger);
    // Test seam: how the result list runs.
    void setDialogRunner(DialogRunner runner);
    // The ID a device's row shows now; empty when it is not listed. IDs
    // renumber while a batch runs (devices leave and come back): the
    // result list names each device by the ID the table shows when the
    // list opens. Without one the IDs at the start of the batch stay.
    using RowIdReader = std::function<QString(const DeviceKey &device)>;
    void setRowIdReader(RowIdReader reader);
    // How many operations a batch keeps in flight (the TaskThread setting).
    void setMaxInFlight(int count);
    int maxInFlight() const;
    // How long to wait for a device's report of new parameters.
    void setConfirmWait(int milliseconds) { m_confirmWaitMs = milliseconds; }
    // Whether a one-device operation is under way.
    bool isBusy() const { return m_busy; }

    // Global point where every message of the pane opens: centred over it.
    QPoint hintPosition() const;

    DeviceNetParaPage *netParaPage() const { return m_netParaPage; }
    DeviceActivePage *activePage() const { return m_activePage; }
    QVector<DeviceInfo> selection() const { return m_selection; }

    bool eventFilter(QObject *target, QEvent *qevent) override;

Q_SIGNALS:
    void signalModifyResult(QVector<DeviceInfo> vecDeviceInfo);
    void signalActiveResult(QVector<DeviceInfo> vecDeviceInfo);
    void signalCoverMainPage();
    void signalDisCoverMainPage();
    void signalExportExcel();
    // "Forget Password" for this device (the first checked one); the main
    // window opens the recovery dialog that suits it.
    void signalForgetPasswordRequested(DeviceInfo device);

public Q_SLOTS:
    void onForgetPassword();
    void onCurrentSelectionChange(VoskTool::ModifyPage modifyPageType, QVector<DeviceInfo> struDeviceInfo);
    void onModifyNetParas();
    void onActiveDevices();
    // "Change Password": the change form in place of the modification's.
    void onShowChangePassword();
    // "Back": the modification form again, the change form emptied.
    void onHideChangePassword();
    // "Confirm" of the change form: checks, then changes the password of
    // every checked device, authorised by the old one.
    void onChangePassword();
    void onNewPasswordTextChanged(const QString &strNewPassword);
    void onDhcpStateChanged(int iState);
    void onBatchDhcpStateChanged(int iState);

private:
    void buildActiveFrame();
    void buildModifyFrame();
    void buildChangePasswordFrame();
    // Whether a selection sent is the one shown: the same devices in the
    // same order, for the same state of the pane.
    bool sameDevices(ModifyPage type, const QVector<DeviceInfo> &devices) const;
    // The same devices again, with what they reported since: the pane's
    // state and notes follow, typed values stay.
    void refreshSameDevices(const QVector<DeviceInfo> &devices);
    void enterNothingSelected();
    void enterModify(bool batch);
    void enterActivation(bool batch);
    void enterMixed();
    // Not activated, and only the maker's own tool can activate them.
    void enterMakersActivation();
    // How many of the selected devices are ONVIF rows, not signed in yet,
    // waiting for their maker's activation (from the stored records).
    struct OnvifSelection
    {
        int onvif = 0, notSignedIn = 0, makersActivation = 0;
    };
    OnvifSelection onvifSelection() const;
    // Says what the pane cannot do for the ONVIF rows among the selection
    // (recovery; a change before sign-in) and holds back what it cannot.
    void showOnvifNote(bool batch);
    void clearPasswordMarks();
    // The button that confirms the form a password field belongs to; null
    // for any other object.
    QPushButton *confirmButtonOf(QObject *field) const;

    void message(int kind, const QString &text, aptui::MultiStateLineEdit *field = nullptr,
                 QLabel *hint = nullptr, bool tall = false);
    // Which devices of the selection a typed password goes to: ours take
    // the interface's 8-bit conversion and 16 bytes, ONVIF ones UTF-8 and
    // OnvifCredentials::kMaxPasswordLength characters. Sets the password
    // fields' lengths to match.
    PasswordTargets passwordTargets() const;
    void applyPasswordTargets();
    // The typed password as each kind of the selection takes it; false
    // (reported on the field) when it cannot be sent as typed.
    bool passwordBytes(aptui::MultiStateLineEdit *field, QLabel *hint, PasswordBytes *bytes);

    void modifySingle();
    void modifyBatch();
    void activateSingle();
    void activateBatch();
    // Empties the change form and hides it (the modification form shows).
    void leaveChangePassword();
    // Refuses (with a message on `field`) a change that gives an address
    // held by another listed device, or one address to two devices.
    bool refuseClashes(const QVector<DeviceKey> &devices, const QVector<NetParams> &params,
                       aptui::MultiStateLineEdit *field, QLabel *hint);
    // One device, off the GUI thread; the pane is busy until its bubble.
    void startSingle(OperationKind kind, const DeviceInfo &device, const OperationJob &job,
                     const PasswordBytes &password, const PasswordBytes &newPassword = PasswordBytes());
    void finishSingle(OperationKind kind, DeviceInfo device, const OperationOutcome &outcome, int confirmed);
    void setBusy(bool busy);
    // A batch: runs the jobs behind the waiting dialog (Cancel skips the
    // devices not yet reached), waits for the reports of new parameters,
    // words every device's result, and shows the list, again for the
    // failed and cancelled devices as long as "Retry failed" is pressed.
    void runBatch(OperationKind kind, QVector<DeviceInfo> devices, const QVector<OperationJob> &jobs,
                  const PasswordBytes &password, const PasswordBytes &newPassword = PasswordBytes());
    // Runs the jobs behind the waiting dialog; their outcomes in order, and
    // for each success of new parameters whether the device reported them.
    QVector<OperationOutcome> runBehindDialog(OperationKind kind, const QVector<OperationJob> &jobs,
                                              const PasswordBytes &password, const PasswordBytes &newPassword,
                                              QHash<DeviceKey, bool> *applied);
    int showResults(const QVector<DeviceInfo> &devices, const QHash<DeviceKey, QString> &notes, OperationKind kind);

    PaneMessenger m_messenger;
    DialogRunner m_dialogRunner;
    RowIdReader m_rowIdReader;
    OperationRunner *m_runner;      // child
    ChangeConfirmer *m_confirmer;   // child
    int m_confirmWaitMs;
    int m_maxInFlightSetting = OperationRunner::kDefaultInFlight;
    bool m_busy = false;
    QVector<DeviceInfo> m_selection;
    ModifyPage m_pageType = ModifySingle; // of m_selection

    QWidget *m_widgetModifyPage;
    QStackedWidget *m_stackedWidget;
    DeviceNetParaPage *m_netParaPage; // page 0
    DeviceActivePage *m_activePage;   // page 1

    QFrame *m_frameActive;
    NewPasswordRows *m_passwordRows; // its widgets are the frame's
    aptui::MultiStateLineEdit *m_lineEditNewPassword;
    QLabel *m_labelHintNewPassword;
    aptui::MultiStateLineEdit *m_lineEditConfirmPassword;
    QLabel *m_labelHintConfirmPassword;
    QPushButton *m_btnActive;
    QLabel *m_labelActiveRule; // the policy, under the rows

    QFrame *m_frameModifyPara;
    aptui::MultiStateLineEdit *m_lineEditAdminPassword;
    QLabel *m_labelHintAdimaPassword;
    QPushButton *m_btnModify;
    QPushButton *m_btnLostPassword;
    QLabel *m_labelOnvifNote;
    QPushButton *m_btnShowChangePassword;

    // The password change, in place of m_frameModifyPara while shown.
    QFrame *m_frameChangePassword;
    aptui::MultiStateLineEdit *m_lineEditOldPassword;
    QLabel *m_labelHintOldPassword;
    NewPasswordRows *m_changeRows; // its widgets are the frame's
    QLabel *m_labelChangeRule;
    QPushButton *m_btnChangePassword;
    QPushButton *m_btnBackToModify;
};

} // namespace VoskTool
