// The program: one instance per user session, the main window over the
// live device table, until the user confirms the exit question.

#include "app/toolsapplication.h"
#include "aptui/targetpath.h"
#include "operations/devicekinds.h"
#include "operations/onvifdeviceoperations.h"
#include "shell/vosktoolmainpage.h"

#include <QDir>
#include <QScreen>

#include <memory>

int main(int argc, char *argv[])
{
    apt::ToolsApplication app(QStringLiteral("VOSKTool"), argc, argv);
    // The style plug-in lives in <plug-in folder>/styles/.
    QCoreApplication::addLibraryPath(QDir::toNativeSeparators(TarnGUIToolkit::GetPluginPath()));
    QCoreApplication::setApplicationName(apt::ToolsApplication::tr("VOSKTool"));

    if (!app.init()) {
        QCoreApplication::exit(0);
        return -1;
    }

    // ONVIF devices beside ours: their operations are asked of this kind,
    // which finds them through the window's OnvifDevices.
    VoskTool::DeviceKinds::instance().add(std::make_shared<VoskTool::OnvifDeviceOperations>());

    // Building the window starts discovery.
    VoskTool::VOSKToolMainPage window;
    // The size and state the user left it in; the first start sizes it
    // from the screen.
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!window.restoreWindowState() && screen) {
        const auto placement = apt::ToolsApplication::mainWindowPlacement(screen->availableGeometry());
        window.resize(placement.size);
        if (placement.position)
            window.move(*placement.position);
    }
    window.show();
    window.onMovePinButtion();
    return QCoreApplication::exec();
}
