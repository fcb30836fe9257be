#include "tools/cli/clidispatch.h"

#include "tools/cli/clicommands.h"
#include "tools/cli/clihelp.h"

#include <cstdio>

namespace CliDispatch {

namespace {

void writeOut(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

int badInput(const QString &message, const QString &hintFor = QString())
{
    std::fputs(CliHelp::errorLine(message).toLocal8Bit().constData(), stderr);
    std::fputs(CliHelp::hint(hintFor).toLocal8Bit().constData(), stderr);
    return CliCommands::BadInput;
}

bool isHelp(const QString &argument)
{
    return argument == QLatin1String("help") || argument == QLatin1String("--help")
        || argument == QLatin1String("-h");
}

int help(const QStringList &arguments)
{
    if (arguments.isEmpty()) {
        writeOut(CliHelp::overview());
        return CliCommands::AllDone;
    }
    if (arguments.size() > 1)
        return badInput(QStringLiteral("help takes one command"), QStringLiteral("help"));
    const QString &topic = arguments.first();
    if (topic == QLatin1String("--help") || topic == QLatin1String("-h")) {
        writeOut(CliHelp::commandHelp(QStringLiteral("help")));
        return CliCommands::AllDone;
    }
    if (topic == QLatin1String("--all")) {
        writeOut(CliHelp::allCommands());
        return CliCommands::AllDone;
    }
    const QString text = CliHelp::commandHelp(topic);
    if (text.isEmpty()) {
        const QString guess = CliHelp::closestCommand(topic);
        if (!guess.isEmpty())
            return badInput(QStringLiteral("no help for '%1': not a command (did you mean '%2'?)").arg(topic, guess));
        return badInput(QStringLiteral("no help for '%1': not a command").arg(topic));
    }
    writeOut(text);
    return CliCommands::AllDone;
}

} // namespace

int run(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return badInput(QStringLiteral("no command given"));
    const QString &command = arguments.first();
    const QStringList rest = arguments.mid(1);

    using Runner = int (*)(const QStringList &);
    static const struct
    {
        const char *name;
        Runner run;
    } commands[] = {
        {"list", CliCommands::list},       {"activate", CliCommands::activate},
        {"set", CliCommands::set},         {"batch", CliCommands::batch},
        {"passwd", CliCommands::passwd},   {"restore", CliCommands::restore},
        {"export-keys", CliCommands::exportKeys}, {"reset", CliCommands::reset},
    };
    for (const auto &entry : commands) {
        if (command == QLatin1String(entry.name))
            return entry.run(rest);
    }
    if (isHelp(command))
        return help(rest);
    if (command == QLatin1String("version") || command == QLatin1String("--version")) {
        if (rest.size() == 1 && isHelp(rest.first()) && rest.first() != QLatin1String("help")) {
            writeOut(CliHelp::commandHelp(QStringLiteral("version")));
            return CliCommands::AllDone;
        }
        if (!rest.isEmpty())
            return badInput(QStringLiteral("version takes no arguments"), QStringLiteral("version"));
        writeOut(CliHelp::versionText());
        return CliCommands::AllDone;
    }
    if (command.startsWith(QLatin1Char('-')))
        return badInput(QStringLiteral("unknown option '%1' before the command").arg(command));
    const QString guess = CliHelp::closestCommand(command);
    if (!guess.isEmpty())
        return badInput(QStringLiteral("unknown command '%1' (did you mean '%2'?)").arg(command, guess));
    return badInput(QStringLiteral("unknown command '%1'").arg(command));
}

} // namespace CliDispatch
