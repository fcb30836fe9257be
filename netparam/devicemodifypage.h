#pragma once

#include "discovery/modifypage.h"
#include "discovery/deviceinfo.h"
#include "netparam/batchworker.h"
#include "netparam/panemessage.h"

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
class PasswordStrengthMeter;
}

namespace VoskTool {

class DeviceActivePage;
class DeviceNetParaPage;

// The right-hand pane of the main window. It receives the table's checked
// devices (onCurrentSelectionChange) and shows one of six states: nothing
// selected, the network-parameter form for one device or for a batch, the
// activation form for one or several devices that are not activated, or a
// notice for a selection that mixes both.
//
// Operations check their fields first and send nothing when a check fails.
// One device is handled on the GUI thread and reported in a bubble; a batch
// makes its library calls on a worker thread behind a waiting dialog that
// counts the devices, then, on the GUI thread, writes the store, emits the
// results and shows the result list. Results go to the table page as
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
    void onNewPasswordTextChanged(const QString &strNewPassword);
    void onDhcpStateChanged(int iState);
    void onBatchDhcpStateChanged(int iState);

private:
    void buildActiveFrame();
    void buildModifyFrame();
    void enterNothingSelected();
    void enterModify(bool batch);
    void enterActivation(bool batch);
    void enterMixed();
    void clearPasswordMarks();

    void message(int kind, const QString &text, aptui::MultiStateLineEdit *field = nullptr,
                 QLabel *hint = nullptr, bool tall = false);
    // The typed password as bytes for the library; false (reported on the
    // field) when it cannot be sent as typed.
    bool passwordBytes(aptui::MultiStateLineEdit *field, QLabel *hint, QByteArray *bytes);

    void modifySingle();
    void reportSingleFailure(DeviceInfo &device, const char *operation);
    void modifyBatch();
    void activateSingle();
    void activateBatch();
    // Runs the jobs on a worker behind the waiting dialog; returns their
    // outcomes once all are done.
    QVector<BatchWorker::Outcome> runBatch(BatchWorker::Kind kind, const QByteArray &password,
                                           const QVector<BatchWorker::Job> &jobs);
    void showResults(const QVector<DeviceInfo> &devices, bool activation);

    PaneMessenger m_messenger;
    DialogRunner m_dialogRunner;
    QVector<DeviceInfo> m_selection;

    QWidget *m_widgetModifyPage;
    QStackedWidget *m_stackedWidget;
    DeviceNetParaPage *m_netParaPage; // page 0
    DeviceActivePage *m_activePage;   // page 1

    QFrame *m_frameActive;
    aptui::MultiStateLineEdit *m_lineEditNewPassword;
    QLabel *m_labelHintNewPassword;
    aptui::MultiStateLineEdit *m_lineEditConfirmPassword;
    QLabel *m_labelHintConfirmPassword;
    QLabel *m_labelLevel;
    QLabel *m_labelLevel1;
    QLabel *m_labelLevel2;
    QLabel *m_labelLevel3;
    QLabel *m_labelHintLevel;
    QPushButton *m_btnActive;
    std::unique_ptr<aptui::PasswordStrengthMeter> m_meter;

    QFrame *m_frameModifyPara;
    aptui::MultiStateLineEdit *m_lineEditAdminPassword;
    QLabel *m_labelHintAdimaPassword;
    QPushButton *m_btnModify;
    QPushButton *m_btnLostPassword;
};

} // namespace VoskTool
