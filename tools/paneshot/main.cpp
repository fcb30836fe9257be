// vosk-paneshot PROGRAM_DIR MODIFY.png ACTIVATE.png BATCH.png PASSWORD.png [BUBBLE.png]
//               [--onvif TABLE.png PANE.png]
// Starts like the tool (settings, style sheets, translations of the program
// in PROGRAM_DIR), waits for the demo fleet and saves four pictures: the
// main window with one activated device of ours checked (the modification
// form), with one device of ours that is not activated checked and a strong
// password typed twice, the result list of a batch modification of five
// devices of ours, and the password change of one activated device of ours
// with its passwords typed; optionally the screen while a field's message
// bubble is up. With --onvif it waits for the demo fleet's four ONVIF
// devices too and signs in to them (user admin, the demo password) before
// the pictures, and saves two more: the table with the pane folded (the
// Protocol column third, as a new user's layout has it), and the pane for
// one signed-in ONVIF device. Run on a display with discovery pinned (VOSK_INTERFACES).
// Exit code 0 on success.

#include "app/toolsapplication.h"
#include "aptui/pinbutton.h"
#include "aptui/targetpath.h"
#include "devicelist/devicecolumn.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/voskhandler.h"
#include "netparam/devicemodifypage.h"
#include "operations/onvifdevices.h"
#include "shell/vosktoolmainpage.h"

#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>

#include <cstdio>

namespace {

// The demo fleet of scripts/common.sh (start_demo_fleet).
constexpr int kOurDevices = 16;
constexpr int kOnvifDevices = 4;

void settle(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool save(QWidget *widget, const QString &path)
{
    settle(600);
    return widget->grab().save(path, "PNG");
}

} // namespace

int main(int argc, char *argv[])
{
    apt::ToolsApplication app(QStringLiteral("VOSKToolPaneShot"), argc, argv);
    QStringList args = QCoreApplication::arguments();
    QString onvifTable, onvifPane;
    if (const int at = int(args.indexOf(QStringLiteral("--onvif"))); at > 0 && at + 2 < args.size()) {
        onvifTable = args.at(at + 1);
        onvifPane = args.at(at + 2);
        args.remove(at, 3);
    }
    const bool onvif = !onvifTable.isEmpty();
    if ((args.size() != 6 && args.size() != 7) || args.contains(QStringLiteral("--onvif"))) {
        std::fprintf(stderr, "usage: vosk-paneshot PROGRAM_DIR MODIFY.png ACTIVATE.png BATCH.png PASSWORD.png "
                             "[BUBBLE.png] [--onvif TABLE.png PANE.png]\n");
        return 1;
    }
    TarnGUIToolkit::SetTargetPath(args.at(1));
    QCoreApplication::addLibraryPath(QDir(args.at(1)).filePath(QStringLiteral("plugins")));
    if (!app.init())
        return 1;

    VoskTool::VOSKToolMainPage window;
    // The size of a first start on this screen (the program's own rule),
    // whatever an earlier run of the program kept.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const auto placement = apt::ToolsApplication::mainWindowPlacement(
        screen ? screen->availableGeometry() : QRect(0, 0, 1366, 768));
    window.resize(placement.size);
    window.move(0, 0);
    window.show();
    window.onMovePinButtion();
    VoskTool::DeviceInfoModel *model = window.deviceDisplayPage()->model();
    auto countRows = [model](bool wantOnvif) {
        int rows = 0;
        for (int row = 0; row < model->rowCount(); ++row)
            rows += model->keyAt(row).isOnvif() == wantOnvif;
        return rows;
    };
    auto fleetListed = [&] {
        return countRows(false) >= kOurDevices && (!onvif || countRows(true) >= kOnvifDevices);
    };
    QDeadlineTimer deadline(20000);
    while (!fleetListed() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    if (!fleetListed()) {
        std::fprintf(stderr, "vosk-paneshot: the demo fleet did not appear\n");
        return 1;
    }
    if (onvif) {
        // Signed in, as a user would be before working on them: their rows
        // show what the devices hold.
        VoskTool::OnvifDevices *devices = VoskTool::OnvifDevices::instance();
        bool signedIn = false;
        QObject::connect(devices, &VoskTool::OnvifDevices::signInDone, &app, [&signedIn] { signedIn = true; });
        devices->setCredentials({QStringLiteral("admin"), QByteArrayLiteral("Admin12345")});
        devices->signIn();
        QDeadlineTimer signInDeadline(20000);
        while (!signedIn && !signInDeadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        if (!signedIn) {
            std::fprintf(stderr, "vosk-paneshot: the ONVIF devices were not signed in\n");
            return 1;
        }
    }
    settle(300);

    // The rows by their records: of our kind or ONVIF, activated or not,
    // and for ONVIF signed in.
    auto recordOf = [model](int row) {
        VOSK_DEVICE_INFO record{};
        DeviceStore::instance()->getDevice(model->keyAt(row), record);
        return record;
    };
    auto checkRows = [&](bool wantActivated, int count, bool wantOnvif = false) {
        for (int row = 0; row < model->rowCount(); ++row)
            model->setCheckState(row, Qt::Unchecked);
        int checked = 0;
        for (int row = 0; row < model->rowCount() && checked < count; ++row) {
            const VOSK_DEVICE_INFO record = recordOf(row);
            if (model->keyAt(row).isOnvif() != wantOnvif || (record.notActivated == 0) != wantActivated)
                continue;
            if (wantOnvif && !(VOSK::onvifFlags(record) & VOSK::OnvifSignedIn))
                continue;
            model->setCheckState(row, Qt::Checked);
            ++checked;
        }
        return checked == count;
    };
    auto *pane = qobject_cast<VoskTool::DeviceModifyPage *>(window.rightPane());
    auto field = [pane](const char *name) { return pane->findChild<QLineEdit *>(QLatin1String(name)); };

    bool saved = checkRows(true, 1) && save(&window, args.at(2));

    if (saved && args.size() == 7) {
        // Modify without the administrator password: the bubble over the
        // window, taken from the screen (it is a window of its own).
        field("m_lineEditAdminPassword")->clear();
        bool shown = false;
        QTimer::singleShot(900, &app, [&] {
            if (QWidget *bubble = QApplication::activeModalWidget()) {
                shown = QGuiApplication::primaryScreen()->grabWindow(0).save(args.at(6), "PNG");
                bubble->close();
            }
        });
        pane->findChild<QPushButton *>(QStringLiteral("m_btnModify"))->click();
        settle(300);
        saved = shown;
    }

    saved = saved && checkRows(true, 1);
    if (saved) {
        pane->findChild<QPushButton *>(QStringLiteral("m_btnShowChangePassword"))->click();
        field("m_lineEditOldPassword")->setText(QStringLiteral("Admin12345"));
        // The change form's own rows: the activation form's carry the same names.
        auto *frame = pane->findChild<QWidget *>(QStringLiteral("m_frameChangePassword"));
        for (const char *name : {"m_lineEditNewPassword", "m_lineEditConfirmPassword"})
            frame->findChild<QLineEdit *>(QLatin1String(name))->setText(QStringLiteral("Vosk#2026cd"));
        saved = save(&window, args.at(5));
    }

    saved = saved && checkRows(false, 1);
    if (saved) {
        field("m_lineEditNewPassword")->setText(QStringLiteral("Vosk#2026ab"));
        field("m_lineEditConfirmPassword")->setText(QStringLiteral("Vosk#2026ab"));
        saved = save(&window, args.at(3));
    }

    saved = saved && checkRows(true, 5);
    if (saved) {
        for (const auto &[name, text] : {std::pair{"m_lineEditStartIp", "192.168.7.64"},
                                         std::pair{"m_lineEditSubnetMask", "255.255.255.0"},
                                         std::pair{"m_lineEditGateway", "192.168.7.1"},
                                         std::pair{"m_lineEditPort", "8000"},
                                         std::pair{"m_lineEditHttpPort", "80"},
                                         std::pair{"m_lineEditAdminPassword", "Admin12345"}}) {
            if (field(name)->isEnabled())
                field(name)->setText(QLatin1String(text));
        }
        bool shown = false;
        pane->setDialogRunner([&](QDialog &dialog) {
            dialog.show();
            shown = save(&dialog, args.at(4));
            return 1;
        });
        pane->findChild<QPushButton *>(QStringLiteral("m_btnModify"))->click();
        saved = shown;
    }

    if (saved && onvif) {
        // The pointer off the window: the table would show the cell under
        // it highlighted once the pane folds under it.
        if (screen)
            QCursor::setPos(screen->geometry().bottomRight());
        // The table alone: the protocol of each row beside its ID, the
        // ONVIF actions above the table.
        for (int row = 0; row < model->rowCount(); ++row)
            model->setCheckState(row, Qt::Unchecked);
        auto *pin = window.findChild<aptui::PinButton *>();
        auto *table = window.deviceDisplayPage()->findChild<QTableView *>();
        saved = pin && table;
        if (saved) {
            pin->click();
            settle(300);
            table->horizontalScrollBar()->setValue(0);
            saved = save(&window, onvifTable);
            pin->click();
        }
        saved = saved && checkRows(true, 1, true) && save(&window, onvifPane);
    }
    VOSK::VoskHandler::instance()->stop();
    if (!saved) {
        std::fprintf(stderr, "vosk-paneshot: cannot make the pictures\n");
        return 1;
    }
    return 0;
}
