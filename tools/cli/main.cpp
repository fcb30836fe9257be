// vosktool-cli: the tool's device operations for scripts. See
// CliDispatch::run() for the command line and CliHelp for its help.

#include "operations/devicekinds.h"
#include "operations/onvifdeviceoperations.h"
#include "tools/cli/clidispatch.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <memory>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vosktool-cli"));
    // The console's own lines on standard error are for people and
    // scripts; the ONVIF side's notes are for a debugging session.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("vosktool.onvif.info=false\nvosktool.operations.info=false"));
    // ONVIF devices beside ours, found through the finder's OnvifDevices.
    VoskTool::DeviceKinds::instance().add(std::make_shared<VoskTool::OnvifDeviceOperations>());
    return CliDispatch::run(QCoreApplication::arguments().mid(1));
}
