// vosktool-cli: the tool's device operations for scripts. See
// CliDispatch::run() for the command line and CliHelp for its help.

#include "tools/cli/clidispatch.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vosktool-cli"));
    return CliDispatch::run(QCoreApplication::arguments().mid(1));
}
