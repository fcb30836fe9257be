#pragma once

#include <QString>

namespace apt {

// The settings of Setup.xml by number. The element names are the keys as
// they appear in the file (case-sensitive).
enum ConfigureKey {
    Translator = 0,  // language code: 0 English, 1 Chinese (9 and 10 pick a font)
    Languages = 1,   // comma-separated language codes
    LogLevel = 2,    // kept, acts on nothing
    VersionType = 3, // kept, acts on nothing
    PingThread = 4,  // kept, acts on nothing
    TaskThread = 5,  // kept, acts on nothing
    LogSaveDay = 6,  // kept, acts on nothing
    Skin = 7,        // skin plug-in name
    Filter = 8       // 1: the discovery library's device filter is on
};

// The element name of a key; an empty string for a number that names no
// key, which then matches no entry.
QString configureKeyName(int key);

} // namespace apt
