#pragma once

#include <QString>

namespace TarnGUIToolkit {

// The folder the program's own files live in (translations, Setup.xml,
// ColumnConfig.xml, manuals), in '/' separators and always ending in '/',
// so that a relative name such as "translations/" can be appended directly.
// This is the executable's folder (the build folder, a portable copy), or,
// for an installed program whose executable sits in <prefix>/bin, the
// program's data folder <prefix>/share/vosktool/, unless SetTargetPath()
// moved it. Needs a QCoreApplication unless a folder was set. Any thread.
QString GetTargetPath();

// GetTargetPath() followed by fileName.
QString GetTargetPathFile(const QString &fileName);

// Replaces the program's folder for the rest of the process; an empty
// folder goes back to the executable's. Tests use it to point the
// configuration and translation loaders at temporary folders.
void SetTargetPath(const QString &folder);

// True when the program runs from an installed tree (see GetTargetPath()).
bool IsInstalledLayout();

// The folder holding the plug-in folders ("skins/", "styles/"), ending in
// '/': GetTargetPath() + "plugins/", or <prefix>/lib/vosktool/plugins/ for
// an installed program.
QString GetPluginPath();

// Where a file the program writes, or the user edits, lives (Setup.xml,
// ColumnConfig.xml, the answer copy): beside the program for a portable
// copy whose folder (and file, when it exists) is writable; otherwise, and
// always for an installed program, in the user's configuration folder,
// seeded there from the copy beside the program on first use. So every
// user of one machine has files of their own and nothing is written into
// a tree the package manager owns.
QString GetUserFilePath(const QString &fileName);

// The decision behind GetUserFilePath(), with every input given: the file
// in programDir when useProgramDir or when there is no userDir; otherwise
// the file in userDir, copied from programDir first (made writable for its
// owner) when userDir has none yet. Falls back to programDir's file when
// the copy cannot be made. Any thread.
QString ResolveUserFilePath(const QString &programDir, bool useProgramDir, const QString &userDir,
                            const QString &fileName);

} // namespace TarnGUIToolkit
