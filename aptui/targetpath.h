#pragma once

#include <QString>

namespace TarnGUIToolkit {

// The folder the program's own files live in (translations, Setup.xml,
// ColumnConfig.xml, plug-ins), in '/' separators and always ending in '/',
// so that a relative name such as "translations/" can be appended directly.
// This is the executable's folder unless SetTargetPath() moved it.
// Needs a QCoreApplication unless a folder was set. Any thread.
QString GetTargetPath();

// GetTargetPath() followed by fileName.
QString GetTargetPathFile(const QString &fileName);

// Replaces the program's folder for the rest of the process; an empty
// folder goes back to the executable's. Tests use it to point the
// configuration and translation loaders at temporary folders.
void SetTargetPath(const QString &folder);

} // namespace TarnGUIToolkit
