#pragma once

#include <QString>
#include <QStringList>

namespace TarnGUIToolkit {

// Whole-file reads of small text files (style sheets, XML), UTF-8.
class CFile final
{
public:
    CFile() = delete;

    // The file's whole text; empty when it cannot be read (logged).
    static QString ReadAll(const QString &path);
    // The texts of the named files of `folder` (a directory or a resource
    // folder such as ":/x/"), joined in list order. An unreadable file adds
    // nothing and the others are still read.
    static QString ReadAll(const QStringList &fileNames, const QString &folder);
};

} // namespace TarnGUIToolkit
