#pragma once

#include "operations/recoveryfiles.h"

#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>

// The worker of the batch password reset, one per phase. Set the members,
// then start(); the setters are not to be called while it runs. The results
// (outcomes(), errorOccurred(), errorFileWritten()) may be read from any
// thread at any time, under a lock of this object; they are complete after
// signalPhaseEnded() or wait(). Its files go to the working folder
// (resetWorkingFolder()):
//
// - type 1, export: the device key (command 1) of every export entry into
//   its key file (deviceKeyFileName()), asked of the entry's device by
//   both halves of its key through its kind (DeviceKinds). A device fails
//   when its serial
//   number cannot be named or is listed twice (nothing is asked of it),
//   when the library refuses the key, or when the key is empty or its file
//   cannot be written. Each failure makes a line of out_error.txt: entry
//   " software: " version " error code: " code for the library's refusals,
//   entry " software: " version " error: " reason for the others.
// - type 0, reset: the reset of every prepared block, in ascending order of
//   the serial numbers, sent to the block's device (setResetDevices) by
//   both halves of its key through its kind; a block without its device
//   is not sent. The answer file given for a block
//   (setAnswerFiles) is read again just before it is sent, and a file that
//   is no longer a usable answer is not sent. Each failure makes a line of
//   in_error.txt: serial " + software: " version " error code: " code, or
//   serial " + software: " version " error: " reason.
//
// Lines are UTF-8 and end in CR LF. The phase's error file is deleted when
// the phase starts and rewritten whole (a temporary renamed into place) as
// each failure happens, so that a killed run leaves every failure it knew
// and never half a line; it is deleted at the end when it received no line.
// Key files and the other phase's files are left alone.
class ResetPasswordThread final : public QThread
{
    Q_OBJECT

public:
    enum Type { TypeReset = 0, TypeExport = 1 };

    explicit ResetPasswordThread(QObject *parent = nullptr);
    // Waits for the thread to end and wipes the blocks (they hold the new
    // password).
    ~ResetPasswordThread() override;

    void setType(int type) { m_iType = type; }
    void setResetParams(const QMap<QString, VoskTool::ResetPasswdParam> &params) { m_mapResetParam = params; }
    // Reset phase: the answer file of each block, serial number → path.
    void setAnswerFiles(const QMap<QString, QString> &paths) { m_answerFiles = paths; }
    // Reset phase: the device of each block, serial number → device.
    void setResetDevices(const QMap<QString, DeviceKey> &devices) { m_resetDevices = devices; }
    void setExportList(const QVector<VoskTool::ExportEntry> &entries) { m_listExport = entries; }
    void setSoftVersions(const QMap<QString, QString> &versions) { m_mapSoftVersion = versions; }

    bool errorOccurred() const;
    // Every device of the last run worked on so far, in that order.
    QVector<VoskTool::RecoveryOutcome> outcomes() const;
    // False when the phase's error file could not be written (the failures
    // are still in outcomes()).
    bool errorFileWritten() const;
    // The working folder, "/" separators.
    static QString workingFolder();

Q_SIGNALS:
    // One more device is finished: its outcome is the last of outcomes(),
    // its error line (if any) on disk. Emitted on the worker's thread:
    // connect it queued. It carries no copy of the outcome: the copy would
    // cross threads inside Qt's event queue, the results' lock orders it.
    void signalDeviceDone();
    // The phase is over and every result is in. The worker's last act,
    // emitted under the results' lock: connect it queued.
    void signalPhaseEnded();

protected:
    void run() override;

private:
    void runExport();
    void runReset();
    void wipeParams();
    // Sends one reset with the answer bytes just checked (empty: the block
    // as it is); fills outcome's result. False, sending nothing, when the
    // bytes could not be written for the library.
    static bool sendChecked(const DeviceKey &device, VoskTool::ResetPasswdParam block, const QByteArray &content,
                            VoskTool::RecoveryOutcome *outcome);
    void finishDevice(const VoskTool::RecoveryOutcome &outcome);
    void setResults(bool errorOccurred, bool errorFileWritten);

    // Guards the results below and the handover of m_mapResetParam (the
    // worker takes the blocks, the destructor wipes what was never taken).
    // A reader after wait() takes it too: QThread's own end is ordered by a
    // lock inside Qt that ThreadSanitizer cannot see.
    mutable QMutex m_mutex;

    int m_iType = TypeReset;
    QMap<QString, VoskTool::ResetPasswdParam> m_mapResetParam;
    QMap<QString, QString> m_answerFiles;
    QMap<QString, DeviceKey> m_resetDevices;
    QVector<VoskTool::ExportEntry> m_listExport;
    QMap<QString, QString> m_mapSoftVersion;
    bool m_bErrorOccurred = false;
    bool m_errorFileWritten = true;
    QVector<VoskTool::RecoveryOutcome> m_outcomes;
};
