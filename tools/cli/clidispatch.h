#pragma once

#include <QStringList>

// The command line of vosktool-cli: finds the command and runs it, or
// answers help, version and mistakes itself.
namespace CliDispatch {

// Runs the command named by the first of `arguments` (the program's
// arguments without its own name) with the rest, on the calling thread,
// which must own the QCoreApplication. Writes to standard output and
// standard error; returns the exit code (CliCommands::ExitCode).
//   help, --help, -h       the overview (help COMMAND, COMMAND --help: that
//                          command's help; help --all: every command's)
//   version, --version     the version
//   no or unknown command  one error line and a hint, exit 2
int run(const QStringList &arguments);

} // namespace CliDispatch
