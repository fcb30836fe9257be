// vosk-recoveryshot PROGRAM_DIR RESET.png RESTORE.png
// Starts like the tool (settings, style sheets, translations of the program
// in PROGRAM_DIR), waits for the demo fleet, opens the reset dialog of a
// new-style key-reset device (one that offers "Reset IPC" when there is one)
// with its QR code and a rated password, and the restore dialog of the first
// device without a key reset, and saves each as a PNG. Run on a display with discovery pinned
// (VOSK_INTERFACES). Exit code 0 on success.

#include "app/toolsapplication.h"
#include "aptui/targetpath.h"
#include "discovery/deviceinfo.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "password/resetpassworddialog.h"
#include "password/restorepassworddialog.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QThread>

#include <cstdio>
#include <optional>

namespace {

bool save(QWidget *dialog, const QString &path)
{
    dialog->show();
    QDeadlineTimer settle(500);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return dialog->grab().save(path, "PNG");
}

} // namespace

int main(int argc, char *argv[])
{
    apt::ToolsApplication app(QStringLiteral("VOSKToolRecoveryShot"), argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: vosk-recoveryshot PROGRAM_DIR RESET.png RESTORE.png\n");
        return 1;
    }
    TarnGUIToolkit::SetTargetPath(args.at(1));
    QCoreApplication::addLibraryPath(QDir(args.at(1)).filePath(QStringLiteral("plugins")));
    if (!app.init())
        return 1;

    std::optional<VOSK_DEVICE_INFO> keyDevice;
    std::optional<VOSK_DEVICE_INFO> codeDevice;
    VOSK::registerMetaTypes();
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    QObject::connect(handler, &VOSK::VoskHandler::signalDeviceOnline, &app, [&](VOSK_DEVICE_INFO record) {
        const bool newStyle = (record.capabilities & VOSK_CAP_KEY_RESET) && record.newResetType;
        const bool cameras = record.capabilities & VOSK_CAP_RESET_CAMERAS;
        if (newStyle && (!keyDevice || (cameras && !(keyDevice->capabilities & VOSK_CAP_RESET_CAMERAS))))
            keyDevice = record;
        if (!codeDevice && !(record.capabilities & VOSK_CAP_KEY_RESET))
            codeDevice = record;
    });
    if (!handler->start()) {
        std::fprintf(stderr, "vosk-recoveryshot: discovery does not start\n");
        return 1;
    }
    // Every device of the fleet answers within a few seconds.
    QDeadlineTimer deadline(8000);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    if (!keyDevice || !codeDevice) {
        std::fprintf(stderr, "vosk-recoveryshot: the fleet has no device for each dialog\n");
        return 1;
    }

    VoskTool::ResetPasswordDialog reset(DeviceKey::fromRecord(*keyDevice),
                                        VOSK::fieldText(keyDevice->deviceDescription), true,
                                        (keyDevice->capabilities & VOSK_CAP_RESET_CAMERAS) != 0);
    reset.findChild<QPushButton *>(QStringLiteral("m_btnQRcode"))->click();
    reset.findChild<QLineEdit *>(QStringLiteral("m_lineEditNewPassword"))->setText(QStringLiteral("Reset#2026ab"));
    reset.findChild<QLineEdit *>(QStringLiteral("m_lineEditConfirmPassword"))
        ->setText(QStringLiteral("Reset#2026ab"));
    VoskTool::RestorePasswordDialog restore(nullptr, DeviceKey::fromRecord(*codeDevice),
                                            VOSK::fieldText(codeDevice->deviceDescription));
    const bool saved = save(&reset, args.at(2)) && save(&restore, args.at(3));
    handler->stop();
    if (!saved) {
        std::fprintf(stderr, "vosk-recoveryshot: cannot save the pictures\n");
        return 1;
    }
    return 0;
}
