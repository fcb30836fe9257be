// The operations of the right-hand pane: what the Modify and Active
// buttons send, off the GUI thread through the operations core, and how
// their outcomes come back. The pane's states and form are in
// devicemodifypage.cpp.

#include "netparam/devicemodifypage.h"

#include "aptui/cchasedialog.h"
#include "aptui/multistatelineedit.h"
#include "aptui/newpasswordrows.h"
#include "discovery/devicestore.h"
#include "netparam/devicemodifyresultpage.h"
#include "netparam/devicenetparapage.h"
#include "netparam/netparamlog.h"
#include "operations/addressclashes.h"
#include "operations/changeconfirmer.h"
#include "operations/operationwords.h"
#include "aptui/identityquestion.h"

#include <QEventLoop>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <cstring>
#include <memory>

namespace VoskTool {

namespace {

const char kLoadingAnimation[] = ":/CommonSkin/Loading/Images/Public/Control/Loading/Loading.gif";

NetParams storedParams(const DeviceInfo &device)
{
    VOSK_DEVICE_INFO record;
    std::memset(&record, 0, sizeof record);
    DeviceStore::instance()->getDevice(device.key(), record);
    return netParamsOf(record);
}

// One job without parameters per device (activation, a password change),
// and the devices' keys for the identity question.
QVector<OperationJob> parameterlessJobs(const QVector<DeviceInfo> &devices, QVector<DeviceKey> *keys)
{
    QVector<OperationJob> jobs;
    for (const DeviceInfo &device : devices) {
        jobs.append({device.key(), {}});
        keys->append(device.key());
    }
    return jobs;
}

QVector<HeldAddress> listedAddresses()
{
    QVector<HeldAddress> listed;
    const QVector<VOSK_DEVICE_INFO> records = DeviceStore::instance()->getAllDevices();
    listed.reserve(records.size());
    for (const VOSK_DEVICE_INFO &record : records)
        listed.append({DeviceKey::fromRecord(record), VOSK::fieldText(record.ipv4Address)});
    return listed;
}

} // namespace

bool DeviceModifyPage::refuseClashes(const QVector<DeviceKey> &devices, const QVector<NetParams> &params,
                                     aptui::MultiStateLineEdit *field, QLabel *hint)
{
    QVector<PlannedAddress> planned;
    for (int i = 0; i < devices.size(); ++i) {
        // A device that turns to DHCP keeps its address until the server
        // gives it another: it asks for none.
        planned.append({devices.at(i), params.at(i).dhcp ? QString() : params.at(i).ipv4Address});
    }
    const QVector<AddressClash> clashes = findAddressClashes(planned, listedAddresses());
    if (clashes.isEmpty())
        return false;
    message(MessageError,
            tr("Nothing was sent: an address would be given twice.") + QLatin1Char('\n')
                + clashMessage(clashes, true),
            field, hint, true);
    return true;
}

void DeviceModifyPage::setBusy(bool busy)
{
    m_busy = busy;
    if (busy) {
        for (QPushButton *button : {m_btnModify, m_btnActive, m_btnChangePassword}) {
            button->setEnabled(false);
            button->setText(tr("Please wait..."));
        }
        m_btnBackToModify->setEnabled(false);
    } else {
        m_btnModify->setText(tr("Modify"));
        m_btnActive->setText(tr("Active"));
        m_btnChangePassword->setText(tr("Confirm"));
        m_btnActive->setEnabled(true);
        m_btnChangePassword->setEnabled(true);
        m_btnBackToModify->setEnabled(true);
        // ONVIF rows not signed in yet have nothing to start a change from.
        m_btnModify->setEnabled(!m_selection.isEmpty() && onvifSelection().notSignedIn == 0);
    }
}

void DeviceModifyPage::modifySingle()
{
    PasswordBytes password;
    if (!passwordBytes(m_lineEditAdminPassword, m_labelHintAdimaPassword, &password))
        return;
    const DeviceInfo device = m_selection.first();
    // What the form does not offer (a disabled field) keeps the device's
    // own value, as it reported it.
    NetParams params = applyChange(storedParams(device), m_netParaPage->collectChange());
    if (params.httpPort == 0)
        params.httpPort = 80; // a device without one is sent the default
    if (refuseClashes({device.key()}, {params}, nullptr, nullptr))
        return;
    if (!IdentityQuestion::confirm(window(), {device.key()}))
        return;
    startSingle(OperationKind::SetNetParams, device, {device.key(), params}, password);
}

void DeviceModifyPage::activateSingle()
{
    PasswordBytes password;
    if (!passwordBytes(m_lineEditNewPassword, m_labelHintNewPassword, &password))
        return;
    const DeviceInfo device = m_selection.first();
    if (!IdentityQuestion::confirm(window(), {device.key()}))
        return;
    startSingle(OperationKind::Activate, device, {device.key(), {}}, password);
}

void DeviceModifyPage::onChangePassword()
{
    if (m_selection.isEmpty()) {
        message(MessageError, tr("Please select a device."));
        return;
    }
    if (m_lineEditOldPassword->text().isEmpty()) {
        message(MessageError, tr("Sorry, please enter the administrator password."), m_lineEditOldPassword,
                m_labelHintOldPassword);
        return;
    }
    // The new password under the activation's policy, then the old one as
    // the device will be sent it: nothing goes out before both pass.
    aptui::MultiStateLineEdit *newField = m_changeRows->newPassword();
    QLabel *newHint = m_changeRows->newPasswordHint();
    const bool accepted = m_changeRows->check(NewPasswordRows::Wording::Activation,
                                              [this, newField, newHint](const QString &text, bool tall) {
                                                  message(MessageError, text, newField, newHint, tall);
                                              },
                                              nullptr);
    if (!accepted)
        return;
    // Each kind of the selection gets both passwords in its own encoding.
    PasswordBytes newPassword;
    if (!passwordBytes(newField, newHint, &newPassword))
        return;
    PasswordBytes oldPassword;
    if (!passwordBytes(m_lineEditOldPassword, m_labelHintOldPassword, &oldPassword)) {
        newPassword.wipe();
        return;
    }
    if (m_lineEditOldPassword->text() == newField->text()) {
        oldPassword.wipe();
        newPassword.wipe();
        message(MessageError, tr("The new password is the same as the old one."), newField, newHint);
        return;
    }
    const QVector<DeviceInfo> devices = m_selection;
    QVector<DeviceKey> keys;
    const QVector<OperationJob> jobs = parameterlessJobs(devices, &keys);
    if (IdentityQuestion::confirm(window(), keys)) {
        if (devices.size() == 1)
            startSingle(OperationKind::ChangePassword, devices.first(), jobs.first(), oldPassword, newPassword);
        else
            runBatch(OperationKind::ChangePassword, devices, jobs, oldPassword, newPassword);
    }
    oldPassword.wipe();
    newPassword.wipe();
}

void DeviceModifyPage::startSingle(OperationKind kind, const DeviceInfo &device, const OperationJob &job,
                                   const PasswordBytes &password, const PasswordBytes &newPassword)
{
    if (m_runner->isRunning())
        return;
    setBusy(true);
    connect(m_runner, &OperationRunner::finished, this, [this, kind, device] {
        const OperationOutcome outcome = m_runner->outcomes().value(0);
        if (kind != OperationKind::SetNetParams || !outcome.ok()) {
            finishSingle(kind, device, outcome, -1);
            return;
        }
        connect(m_confirmer, &ChangeConfirmer::finished, this, [this, kind, device, outcome] {
            finishSingle(kind, device, outcome, m_confirmer->applied(device.key()) ? 1 : 0);
        }, Qt::SingleShotConnection);
        m_confirmer->expect({device.key()}, {m_runner->jobs().value(0).params}, m_confirmWaitMs);
    }, Qt::SingleShotConnection);
    m_runner->setMaxInFlight(1);
    m_runner->start(kind, {job}, password, newPassword);
}

// `confirmed`: 1 the device reported the new values, 0 it did not in time,
// -1 nothing to confirm.
void DeviceModifyPage::finishSingle(OperationKind kind, DeviceInfo device, const OperationOutcome &outcome,
                                    int confirmed)
{
    setBusy(false);
    const LocalText words = singleResultWord(kind, outcome);
    // The selection may have changed meanwhile: the device's result goes
    // into it only where it still is.
    auto keepResult = [this, &device] {
        for (DeviceInfo &selected : m_selection) {
            if (selected.key() == device.key())
                selected.result = device.result;
        }
    };
    if (!outcome.ok()) {
        qCInfo(lcNetParam) << "[DeviceModifyPage] operation failed, error" << outcome.code;
        if (singleFailureKeepsCode(outcome)) {
            device.result = words.translated();
            keepResult();
        }
        // A wrong old password is that field's fault, while it is shown.
        if (kind == OperationKind::ChangePassword && outcome.status == OperationStatus::Denied
            && !m_frameChangePassword->isHidden()) {
            message(MessageError, words.translated(), m_lineEditOldPassword, m_labelHintOldPassword);
            return;
        }
        message(MessageError, words.translated());
        return;
    }
    // A change the device took and has not reported is no success: the
    // row says so, in words that count from when the device took it.
    const LocalText notSeen = notSeenWord(outcome, m_confirmer->finishedAtMs());
    device.result = confirmed == 0 ? notSeen.translated() : successWord().translated();
    keepResult();
    if (kind == OperationKind::ChangePassword) {
        // Done with the passwords typed: the form goes, with them, unless
        // the selection has moved the pane on meanwhile.
        if (!m_frameChangePassword->isHidden())
            onHideChangePassword();
        message(MessageSuccess, words.translated());
        return;
    }
    if (kind == OperationKind::Activate) {
        {
            DeviceStore::Locker locker(DeviceStore::instance());
            DeviceStore::instance()->setActivated(device.key(), 0);
        }
        // The table sends the selection again: the pane moves on to the
        // modification form before the bubble shows.
        Q_EMIT signalActiveResult({device});
        message(MessageSuccess, words.translated());
        return;
    }
    Q_EMIT signalModifyResult({device});
    if (confirmed == 0) {
        message(MessageError, tr("The device took the new parameters but has not reported them: %1")
                                  .arg(notSeen.translated()));
        return;
    }
    message(MessageSuccess, words.translated());
}

void DeviceModifyPage::modifyBatch()
{
    PasswordBytes password;
    if (!passwordBytes(m_lineEditAdminPassword, m_labelHintAdimaPassword, &password))
        return;
    const BatchSettings settings = m_netParaPage->batchSettings();
    if (settings.start && !m_netParaPage->checkBatchRoom(hintPosition(), int(m_selection.size())))
        return;

    // The selection may be replaced while the batch runs (a device going
    // offline re-evaluates the table's check boxes): work on this copy.
    const QVector<DeviceInfo> devices = m_selection;
    QVector<NetParams> current;
    QVector<DeviceKey> keys;
    for (const DeviceInfo &device : devices) {
        current.append(storedParams(device));
        keys.append(device.key());
    }
    const QVector<NetParams> planned = planBatch(current, settings);
    if (refuseClashes(keys, planned, settings.start ? m_netParaPage->startIpEdit() : nullptr,
                      settings.start ? m_netParaPage->startIpHint() : nullptr))
        return;
    if (!IdentityQuestion::confirm(window(), keys))
        return;
    QVector<OperationJob> jobs;
    for (int i = 0; i < devices.size(); ++i)
        jobs.append({keys.at(i), planned.at(i)});
    runBatch(OperationKind::SetNetParams, devices, jobs, password);
}

void DeviceModifyPage::activateBatch()
{
    PasswordBytes password;
    if (!passwordBytes(m_lineEditNewPassword, m_labelHintNewPassword, &password))
        return;
    const QVector<DeviceInfo> devices = m_selection;
    QVector<DeviceKey> keys;
    const QVector<OperationJob> jobs = parameterlessJobs(devices, &keys);
    if (!IdentityQuestion::confirm(window(), keys))
        return;
    runBatch(OperationKind::Activate, devices, jobs, password);
}

void DeviceModifyPage::runBatch(OperationKind kind, QVector<DeviceInfo> devices, const QVector<OperationJob> &jobs,
                                const PasswordBytes &password, const PasswordBytes &newPassword)
{
    const bool activation = kind == OperationKind::Activate;
    QHash<DeviceKey, QString> notes;
    QVector<int> todo; // indices into devices/jobs of this round
    for (int i = 0; i < devices.size(); ++i)
        todo.append(i);
    DeviceStore *store = DeviceStore::instance();
    m_runner->setMaxInFlight(m_maxInFlightSetting);
    for (;;) {
        QVector<OperationJob> round;
        for (int i : std::as_const(todo))
            round.append(jobs.at(i));
        QHash<DeviceKey, bool> applied;
        const QVector<OperationOutcome> outcomes = runBehindDialog(kind, round, password, newPassword, &applied);
        QVector<DeviceInfo> done;
        for (int r = 0; r < todo.size(); ++r) {
            DeviceInfo &device = devices[todo.at(r)];
            const OperationOutcome outcome = outcomes.value(r);
            device.result = batchResultWord(kind, outcome).translated();
            if (!outcome.ok())
                continue;
            if (activation) {
                DeviceStore::Locker locker(store);
                store->setActivated(device.key(), 0);
            } else if (kind == OperationKind::SetNetParams) {
                const bool seen = applied.value(device.key());
                if (!seen) {
                    // Sent and not reported since: listed as failed (and
                    // retried with the failed), not as a success.
                    device.result = notSeenWord(outcome, m_confirmer->finishedAtMs()).translated();
                    continue;
                }
                notes.insert(device.key(), appliedWord().translated());
                // The list shows the address the device now reports, the
                // one sent while it has not reported yet.
                VOSK_DEVICE_INFO record;
                std::memset(&record, 0, sizeof record);
                const QString reported = store->getDevice(device.key(), record)
                    ? VOSK::fieldText(record.ipv4Address) : QString();
                device.ipv4Address = seen && !reported.isEmpty() ? reported : round.at(r).params.ipv4Address;
            }
            done.append(device);
        }
        if (activation) {
            m_selection = devices;
            // The table sends the selection again, which replaces m_selection.
            Q_EMIT signalActiveResult(devices);
        } else if (kind == OperationKind::SetNetParams) {
            Q_EMIT signalModifyResult(devices);
        }
        if (showResults(devices, notes, kind) != DeviceModifyResultPage::RetryFailed)
            break;
        todo.clear();
        for (int i = 0; i < devices.size(); ++i) {
            if (devices.at(i).result != successWord().translated())
                todo.append(i);
        }
        if (todo.isEmpty())
            break;
    }
    if (kind != OperationKind::ChangePassword || m_frameChangePassword->isHidden())
        return;
    // Every device has its new password: the typed ones go with the form.
    // After a failure they stay, for another try.
    const bool allDone = std::all_of(devices.cbegin(), devices.cend(), [](const DeviceInfo &device) {
        return device.result == successWord().translated();
    });
    if (allDone)
        onHideChangePassword();
}

QVector<OperationOutcome> DeviceModifyPage::runBehindDialog(OperationKind kind, const QVector<OperationJob> &jobs,
                                                            const PasswordBytes &password, const PasswordBytes &newPassword,
                                                            QHash<DeviceKey, bool> *applied)
{
    const int total = int(jobs.size());
    // The count, and what is awaited: a slow device otherwise holds the
    // count still with no word of why.
    auto progressText = [](int done, int all) {
        return done == all ? QStringLiteral("%1 / %2").arg(done).arg(all)
                           : tr("%1 / %2: waiting for %n device(s) to answer", nullptr, all - done).arg(done).arg(all);
    };
    TarnGUIToolkit::CChaseDialog chase(window(), QLatin1String(kLoadingAnimation), progressText(0, total));
    chase.setObjectName(QStringLiteral("BatchChaseDialog"));
    chase.setCancelText(tr("Cancel"));
    connect(m_runner, &OperationRunner::progress, &chase,
            [&chase, progressText](int done, int all) { chase.setText(progressText(done, all)); });
    connect(&chase, &TarnGUIToolkit::CChaseDialog::signalCancelRequested, m_runner, [this, &chase] {
        chase.setText(tr("Cancelling: waiting for the devices already asked..."));
        m_runner->cancel();
    });
    connect(m_runner, &OperationRunner::finished, &chase, [this, &chase, kind] {
        QVector<DeviceKey> devices;
        QVector<NetParams> sent;
        const QVector<OperationOutcome> outcomes = m_runner->outcomes();
        for (int i = 0; i < outcomes.size(); ++i) {
            if (kind == OperationKind::SetNetParams && outcomes.at(i).ok()) {
                devices.append(m_runner->jobs().at(i).device);
                sent.append(m_runner->jobs().at(i).params);
            }
        }
        if (devices.isEmpty()) {
            chase.OnImmediatelyStopChase();
            return;
        }
        auto awaitedText = [](int awaited) {
            return tr("Waiting for %n device(s) to report their new settings...", nullptr, awaited);
        };
        chase.setText(awaitedText(int(devices.size())));
        connect(m_confirmer, &ChangeConfirmer::awaitedChanged, &chase,
                [&chase, awaitedText](int awaited) { chase.setText(awaitedText(awaited)); });
        if (chase.cancelButton())
            chase.cancelButton()->setEnabled(false);
        connect(m_confirmer, &ChangeConfirmer::finished, &chase, &TarnGUIToolkit::CChaseDialog::OnImmediatelyStopChase,
                Qt::SingleShotConnection);
        // After Cancel the user waits for no report: one look, no wait.
        m_confirmer->expect(devices, sent, m_runner->isCancelled() ? 0 : m_confirmWaitMs);
    }, Qt::SingleShotConnection);

    qCInfo(lcNetParam) << "[DeviceModifyPage] batch of" << total << "devices";
    Q_EMIT signalCoverMainPage();
    m_runner->start(kind, jobs, password, newPassword);
    chase.exec();
    // The dialog closes once the run and the wait for reports are over;
    // should anything have closed it earlier, their end is awaited here.
    m_runner->waitForFinished();
    if (m_confirmer->isWaiting()) {
        QEventLoop loop;
        connect(m_confirmer, &ChangeConfirmer::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    Q_EMIT signalDisCoverMainPage();
    const QVector<OperationOutcome> outcomes = m_runner->outcomes();
    for (int i = 0; i < outcomes.size(); ++i) {
        if (outcomes.at(i).ok())
            applied->insert(jobs.at(i).device, m_confirmer->applied(jobs.at(i).device));
    }
    return outcomes;
}

int DeviceModifyPage::showResults(const QVector<DeviceInfo> &devices, const QHash<DeviceKey, QString> &notes,
                                  OperationKind kind)
{
    DeviceModifyResultPage results;
    if (kind == OperationKind::Activate) {
        results.setResultColumnTitle(DeviceModifyResultPage::ColumnResult, tr("Activation"));
        results.setTotalLabelText(tr("Batch activate devices"));
        results.setFailedLabelText(tr("Activate fail numbers"));
    } else if (kind == OperationKind::ChangePassword) {
        results.setResultColumnTitle(DeviceModifyResultPage::ColumnResult, tr("Password Change"));
    }
    results.setNotes(notes);
    QVector<DeviceInfo> listed = devices;
    if (m_rowIdReader) {
        for (DeviceInfo &device : listed) {
            const QString id = m_rowIdReader(device.key());
            if (!id.isEmpty())
                device.id = id;
        }
    }
    results.setResults(listed);
    Q_EMIT signalCoverMainPage();
    const int result = m_dialogRunner ? m_dialogRunner(results) : results.exec();
    Q_EMIT signalDisCoverMainPage();
    return result;
}

} // namespace VoskTool
