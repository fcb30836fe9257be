#pragma once

#include <QStringList>

// The commands of vosktool-cli. Each takes the command's own arguments
// (without the program and command names), writes results to standard
// output and progress and errors to standard error, and returns the exit
// code: 0 every device done, 1 some device failed (or discovery could not
// start), 2 bad input (nothing was sent to any device).
namespace CliCommands {

enum ExitCode { AllDone = 0, SomeFailed = 1, BadInput = 2 };

int list(const QStringList &arguments);
int activate(const QStringList &arguments);
int set(const QStringList &arguments);
int batch(const QStringList &arguments);
// A new administrator password for activated devices, authorised by the
// current one; both read from files, never from the command line.
int passwd(const QStringList &arguments);
int restore(const QStringList &arguments);
// The recovery paths of the batch reset, with the window's working folder
// and files.
int exportKeys(const QStringList &arguments);
int reset(const QStringList &arguments);

} // namespace CliCommands
