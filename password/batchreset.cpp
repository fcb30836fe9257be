#include "password/batchreset.h"

#include "aptui/cchasedialog.h"
#include "operations/recoveryfiles.h"
#include "password/recoveryui.h"
#include "operations/resetpasswordthread.h"
#include "password/resetpasswordwidget.h"

#include <QCoreApplication>

#include <cstring>

namespace VoskTool {

namespace {

QString hintTitle()
{
    return QCoreApplication::translate("VoskTool::BatchReset", "Hint");
}

// Runs the worker behind the waiting dialog until it has ended.
void runBehindWaitingDialog(QWidget *page, ResetPasswordThread &worker)
{
    TarnGUIToolkit::CChaseDialog waiting(
        page, QStringLiteral(":/CommonSkin/Loading/Images/Public/Control/Loading/Loading.gif"),
        QCoreApplication::translate("VoskTool::BatchReset", "Loading..."), false);
    QObject::connect(&worker, &QThread::finished, &waiting, &TarnGUIToolkit::CChaseDialog::OnImmediatelyStopChase);
    worker.start(QThread::InheritPriority);
    waiting.exec();
    worker.wait();
}

} // namespace

void runConfigExport(QWidget *page, const QVector<DeviceKey> &devices)
{
    const ExportList list = exportListFor(devices);
    if (list.versions.isEmpty())
        return;
    ResetPasswordThread worker;
    worker.setType(ResetPasswordThread::TypeExport);
    worker.setExportList(list.entries);
    worker.setSoftVersions(list.versions);
    runBehindWaitingDialog(page, worker);
    const QString text = worker.errorOccurred()
        ? QCoreApplication::translate("VoskTool::BatchReset", "Part failed.Please check\"out_error\" file")
        : QCoreApplication::translate("VoskTool::BatchReset", "Exported");
    // The key files and the error list lie in the working folder: the
    // message names it and opens it on request, also where no file browser
    // can be started.
    RecoveryUi::showFolderMessage(page, hintTitle(), text, ResetPasswordThread::workingFolder());
}

void runConfigReset(QWidget *page, const QVector<DeviceKey> &devices)
{
    ResetPasswordWidget input(page);
    if (input.exec() != QDialog::Accepted)
        return;
    QByteArray password = input.passwordBytes();
    ResetPlan plan = matchAnswerFiles(devices, input.folder(), password);
    password.fill('\0');

    ResetPasswordThread worker;
    worker.setType(ResetPasswordThread::TypeReset);
    worker.setResetParams(plan.blocks);
    worker.setAnswerFiles(plan.answerFiles);
    worker.setResetDevices(plan.devices);
    worker.setSoftVersions(plan.versions);
    // The worker holds the only copy now, and wipes it when it is done.
    for (ResetPasswdParam &block : plan.blocks)
        std::memset(&block, 0, sizeof block);
    plan.blocks.clear();
    // Known before anything is sent: on disk before, should the run be cut.
    writeMismatchList(plan.mismatched);
    runBehindWaitingDialog(page, worker);

    if (worker.errorOccurred() || !plan.mismatched.isEmpty()) {
        RecoveryUi::showFolderMessage(
            page, hintTitle(),
            QCoreApplication::translate("VoskTool::BatchReset", "Part failed.Please check\"in_error\" or \"mismatch\" file"),
            ResetPasswordThread::workingFolder());
    } else {
        RecoveryUi::showMessage(page, hintTitle(), QCoreApplication::translate("VoskTool::BatchReset", "Successed"));
    }
}

} // namespace VoskTool
