#pragma once

#include "operations/recoveryfiles.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QThread>

// The worker of the batch password reset, one per phase. Set the members,
// start(), read errorOccurred() after finished(); nothing is shared while it
// runs. Its files go to the working folder (resetWorkingFolder()):
//
// - type 1, export: the device key (command 1) of every export entry
//   ("serial+start time") into a key file; a key that cannot be fetched
//   makes a line of out_error.txt: entry " software: " version
//   " error code: " code.
// - type 0, reset: VOSK_ResetPasswd for every prepared block, in ascending
//   order of the serial numbers; a refusal makes a line of in_error.txt:
//   serial " + software: " version " error code: " code.
//
// Lines are UTF-8 and end in CR LF. The phase's error file is deleted when
// the phase starts and again at its end when it received no line; key files
// and the other phase's files are left alone.
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
    void setExportList(const QStringList &entries) { m_listExport = entries; }
    void setSoftVersions(const QMap<QString, QString> &versions) { m_mapSoftVersion = versions; }

    bool errorOccurred() const { return m_bErrorOccurred; }
    // The serial numbers of the last run whose key or reset failed, with the
    // library's error code (the lines of the phase's error file). Read after
    // finished().
    QMap<QString, int> failures() const { return m_failures; }
    // The working folder, "/" separators.
    static QString workingFolder();

protected:
    void run() override;

private:
    void runExport();
    void runReset();
    void wipeParams();

    int m_iType = TypeReset;
    QMap<QString, VoskTool::ResetPasswdParam> m_mapResetParam;
    QStringList m_listExport;
    QMap<QString, QString> m_mapSoftVersion;
    bool m_bErrorOccurred = false;
    QMap<QString, int> m_failures;
};
