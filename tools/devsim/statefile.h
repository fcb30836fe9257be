#pragma once

// The simulator's state file: read at start, replaced as a whole on every
// save. A save writes a temporary beside the file, named after it and the
// writing process (`<file>.tmp-<pid>`), and renames it into place, so a
// crash never leaves a torn file. A crash may leave that temporary behind:
// the next start or save removes every one whose process is gone.

#include <QJsonObject>
#include <QString>

namespace VoskSim {

class StateFile final
{
public:
    explicit StateFile(const QString &path);

    // The file's content; an empty object when there is no file. false with
    // a reason when it exists and cannot be read.
    bool load(QJsonObject &content, QString &error);
    // Replaces the file. false with a reason on failure (the old file then
    // stays as it was).
    bool save(const QJsonObject &content, QString &error);
    // Removes the temporaries of this file left by processes that are gone.
    void removeStaleTemporaries() const;

    const QString &path() const { return m_path; }

private:
    QString m_path;
};

} // namespace VoskSim
