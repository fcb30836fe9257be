#pragma once

#include <QString>
#include <QStringList>

// What vosktool-cli says about itself: the overview, the help of each
// command, the version, and the wording of command-line errors. Texts only,
// no I/O; CliDispatch writes them. Any thread.
//
// One message style for the whole program: every error is one line on
// standard error, "vosktool-cli: " and a lower-case sentence without a
// final full stop; a mistake in the command line adds one hint line naming
// the help to read. (Texts the window shows, such as the password rule,
// are quoted as the window words them.)
namespace CliHelp {

// The overview: usage, one line per command, the options every command
// takes, the exit codes. Ends with a line break.
QString overview();

// The help of one command: usage, what it does, its options, the options
// every command takes. Empty for a name that is not a command.
QString commandHelp(const QString &command);

// The overview followed by the help of every command (`help --all`; the
// manual page is made from it).
QString allCommands();

// The commands, in the order of the overview ("list", ..., "help",
// "version").
QStringList commandNames();

// "vosktool-cli VERSION" and a line break.
QString versionText();

// An error as this program writes it: "vosktool-cli: MESSAGE" and a line
// break.
QString errorLine(const QString &message);

// QCommandLineParser's error ("Unknown option 'x'.") in this program's
// style ("unknown option 'x'").
QString parserError(const QString &parserText);

// The hint after a mistaken command line: the command's help, or the
// overview when `command` is empty or unknown. Ends with a line break.
QString hint(const QString &command = QString());

// The command a mistyped name most likely meant ("lst" -> "list"): the
// nearest by edit distance, if at most two edits away and nearer than
// every other; else empty.
QString closestCommand(const QString &typed);

// The same for an option of `command` (its own or one every command
// takes): "wiat" or "--wiat" -> "--wait"; empty when none is near enough.
QString closestOption(const QString &command, const QString &typed);

} // namespace CliHelp
