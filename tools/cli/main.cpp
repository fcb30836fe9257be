// vosktool-cli: the tool's device operations for scripts. See
// CliCommands::usage() for the commands.

#include "tools/cli/clicommands.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vosktool-cli"));
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString command = arguments.isEmpty() ? QString() : arguments.takeFirst();

    if (command == QLatin1String("list"))
        return CliCommands::list(arguments);
    if (command == QLatin1String("activate"))
        return CliCommands::activate(arguments);
    if (command == QLatin1String("set"))
        return CliCommands::set(arguments);
    if (command == QLatin1String("batch"))
        return CliCommands::batch(arguments);
    if (command == QLatin1String("restore"))
        return CliCommands::restore(arguments);
    if (command == QLatin1String("export-keys"))
        return CliCommands::exportKeys(arguments);
    if (command == QLatin1String("reset"))
        return CliCommands::reset(arguments);
    if (command == QLatin1String("help") || command == QLatin1String("--help") || command == QLatin1String("-h")) {
        std::fputs(qPrintable(CliCommands::usage()), stdout);
        return CliCommands::AllDone;
    }
    std::fprintf(stderr, "vosktool-cli: %s\n%s",
                 command.isEmpty() ? "no command given" : qPrintable(QStringLiteral("unknown command '%1'").arg(command)),
                 qPrintable(CliCommands::usage()));
    return CliCommands::BadInput;
}
