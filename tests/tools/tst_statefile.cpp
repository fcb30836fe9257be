// The simulator's state file: replaced whole, and the temporaries a killed
// save leaves behind are removed at the next start or save, while those of
// a save still running and every other file are left alone.

#include "tools/devsim/statefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

using VoskSim::StateFile;

namespace {

// The id of a process that has ended (and been reaped).
qint64 goneProcess()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

bool touch(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("{\"torn") > 0;
}

} // namespace

class TestStateFile final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void staleTemporariesGo_data()
    {
        QTest::addColumn<bool>("bySave");
        QTest::newRow("at the next start") << false;
        QTest::newRow("at the next save") << true;
    }

    void staleTemporariesGo()
    {
        QFETCH(bool, bySave);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("state.json"));
        const QString stale = path + QStringLiteral(".tmp-") + QString::number(goneProcess());
        const QString running = path + QStringLiteral(".tmp-") + QString::number(::getppid());
        const QString others[] = {path + QStringLiteral(".tmp-12x"), path + QStringLiteral(".bak"),
                                  dir.filePath(QStringLiteral("other.json.tmp-1"))};
        QVERIFY(touch(stale));
        QVERIFY(touch(running));
        for (const QString &other : others)
            QVERIFY(touch(other));

        StateFile file(path);
        QString error;
        QJsonObject content;
        if (bySave)
            QVERIFY(file.save(QJsonObject{{QStringLiteral("version"), 1}}, error));
        else
            QVERIFY(file.load(content, error));
        QVERIFY(!QFile::exists(stale));
        QVERIFY(QFile::exists(running));
        for (const QString &other : others)
            QVERIFY2(QFile::exists(other), qPrintable(other));
    }

    void saveReplacesTheWholeFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        StateFile file(dir.filePath(QStringLiteral("state.json")));
        QString error;
        QJsonObject content;
        QVERIFY(file.load(content, error));
        QVERIFY(content.isEmpty());
        QVERIFY(file.save(QJsonObject{{QStringLiteral("devices"), QJsonObject{{QStringLiteral("A"), 1}}}}, error));
        QVERIFY(file.save(QJsonObject{{QStringLiteral("version"), 2}}, error));
        QVERIFY(file.load(content, error));
        QCOMPARE(content, (QJsonObject{{QStringLiteral("version"), 2}}));
        // Nothing of its own is left beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("state.json")});
    }

    void unwritableFolderFailsAndSaysWhy()
    {
        StateFile file(QStringLiteral("/nonexistent-folder/state.json"));
        QString error;
        QVERIFY(!file.save(QJsonObject{{QStringLiteral("version"), 1}}, error));
        QVERIFY(error.contains(QStringLiteral("/nonexistent-folder/state.json")));
    }
};

QTEST_GUILESS_MAIN(TestStateFile)
#include "tst_statefile.moc"
