// vosk-paneshot PROGRAM_DIR MODIFY.png ACTIVATE.png BATCH.png PASSWORD.png [BUBBLE.png]
// Starts like the tool (settings, style sheets, translations of the program
// in PROGRAM_DIR), waits for the demo fleet and saves four pictures: the
// main window with one activated device checked (the modification form),
// with one device that is not activated checked and a strong password typed
// twice, the result list of a batch modification of five devices, and the
// password change of one activated device with its passwords typed;
// optionally the screen while a field's message bubble is up. Run
// on a display with discovery pinned (VOSK_INTERFACES). Exit code 0 on
// success.

#include "app/toolsapplication.h"
#include "aptui/targetpath.h"
#include "devicelist/devicecolumn.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/voskhandler.h"
#include "netparam/devicemodifypage.h"
#include "shell/vosktoolmainpage.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QTimer>

#include <cstdio>

namespace {

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
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 6 && args.size() != 7) {
        std::fprintf(stderr,
                     "usage: vosk-paneshot PROGRAM_DIR MODIFY.png ACTIVATE.png BATCH.png PASSWORD.png [BUBBLE.png]\n");
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
    QDeadlineTimer deadline(20000);
    while (model->rowCount() < 16 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    if (model->rowCount() < 16) {
        std::fprintf(stderr, "vosk-paneshot: the demo fleet did not appear\n");
        return 1;
    }
    settle(300);

    const QString activated = VoskTool::DeviceInfoModel::tr("Activated");
    auto checkRows = [&](bool wantActivated, int count) {
        for (int row = 0; row < model->rowCount(); ++row)
            model->setCheckState(row, Qt::Unchecked);
        int checked = 0;
        for (int row = 0; row < model->rowCount() && checked < count; ++row) {
            if ((model->text(row, VoskTool::ColumnActivation).trimmed() == activated) == wantActivated) {
                model->setCheckState(row, Qt::Checked);
                ++checked;
            }
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
    VOSK::VoskHandler::instance()->stop();
    if (!saved) {
        std::fprintf(stderr, "vosk-paneshot: cannot make the pictures\n");
        return 1;
    }
    return 0;
}
