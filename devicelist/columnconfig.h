#pragma once

#include "devicelist/devicecolumn.h"

#include <QDomDocument>
#include <QString>
#include <QVector>

#include <functional>

namespace VoskTool {

// The column-order file ColumnConfig.xml (GB2312, one child per logical
// column holding its model column in an element IndexValue, in the order
// of DeviceColumn): what it says, repaired where it says something
// unusable, and the rewrite that a header drag makes.
//
// A file of 22 entries (written before the protocol column) is whole: it
// keeps its order and the protocol column takes the first free column.
// The map always holds 23 valid, distinct model columns: the check and ID
// columns keep 0 and 1; unusable entries (out of range, repeated, missing)
// fall back to their logical id, or, when that is taken, the first free
// column. Construction and every save remove the temporaries that an
// interrupted save left beside the file ("ColumnConfig.xml.XXXXXX").
// Saves are atomic (QSaveFile). GUI thread only.
class ColumnConfig final
{
public:
    explicit ColumnConfig(const QString &path);

    QString path() const { return m_path; }

    // Reads the file into the map and into the document that moveColumn()
    // rewrites. False when the file is missing, unreadable or not XML; the
    // map then holds the default order and the document a complete one.
    bool load();
    // The model column of each logical column, as last loaded.
    QVector<int> map() const { return m_map; }

    // Renumbers the entries for a header drag from visual position `from`
    // to `to` (2 and up: the check and ID columns stay) and saves the file
    // in GB2312. False when the positions are out of range or the file
    // could not be written.
    bool moveColumn(int from, int to);

    // Called after a save has written the new content and before it
    // replaces the old file; returning false abandons the save, as a crash
    // at that moment would. For tests.
    void setBeforeCommitHook(std::function<bool()> hook) { m_beforeCommit = std::move(hook); }

    // Where ColumnConfig.xml lives: TarnGUIToolkit::GetUserFilePath(), beside
    // a portable program whose folder is writable, otherwise in the per-user
    // configuration folder, seeded from the copy beside the program.
    static QString defaultPath();
    // The decision behind defaultPath(), with every input given. Copies
    // programDir's file to userDir when the latter has none yet.
    static QString resolvePath(const QString &programDir, bool programDirWritable, const QString &userDir);

private:
    void rebuildDocument(const QVector<int> &map);
    // A column's child element holding its model column.
    QDomElement columnElement(int id, int column);
    bool saveDocument();
    QDomElement indexValueElement(const QDomElement &child) const;

    QString m_path;
    QDomDocument m_document;
    QDomElement m_root;
    QVector<int> m_map;
    std::function<bool()> m_beforeCommit;
};

} // namespace VoskTool
