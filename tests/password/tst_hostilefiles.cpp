// Hostile serial numbers and files against the batch reset, with the
// library's test double as the device: which file a device is matched to,
// what the library is asked for and sent, and what is reported.

#include "operations/recoveryfiles.h"
#include "operations/resetpasswordthread.h"
#include "operations/serialfilename.h"
#include "tests/double/voskdouble.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cstring>
#include <sys/stat.h>

using namespace VoskTool;

namespace {

const QDateTime kOlder(QDate(2026, 12, 1), QTime(9, 0));
const QDateTime kNewer(QDate(2026, 12, 6), QTime(10, 20));

// An answer as the reset service writes its files.
QByteArray answerFor(const QByteArray &tag)
{
    return "<?xml version=\"1.0\"?>\r\n<ResetAnswer><Answer>RA1.abcdefghijklmnop_" + tag.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)
        + "</Answer></ResetAnswer>\r\n";
}

// What the double hands out as a device key: length, then the bytes.
QByteArray keyAnswer(const QByteArray &key)
{
    QByteArray answer(4, '\0');
    const quint32 length = quint32(key.size());
    std::memcpy(answer.data(), &length, 4);
    return answer + key;
}

QString S(const char *text)
{
    return QString::fromUtf8(text);
}

QStringList L(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list << S(text);
    return list;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestHostileFiles final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QString m_answers;

    // One file of a row's answers folder: the name, then what it is.
    // "answer:TAG" an answer, "junk", "empty", "big", "fifo-link",
    // "zero-link", "dir".
    void makeFile(const QString &name, const QString &kind)
    {
        const QString path = QDir(m_answers).filePath(name);
        if (kind == QLatin1String("fifo-link")) {
            const QString fifo = m_home.filePath(QStringLiteral("fifo-") + QString::number(qHash(name)));
            QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
            QVERIFY(QFile::link(fifo, path));
            return;
        }
        if (kind == QLatin1String("zero-link")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
            return;
        }
        if (kind == QLatin1String("dir")) {
            QVERIFY(QDir().mkpath(path));
            return;
        }
        QByteArray content;
        if (kind.startsWith(QLatin1String("answer:")))
            content = answerFor(kind.mid(7).toLatin1());
        else if (kind == QLatin1String("junk"))
            content = "<html>not an answer</html>\n";
        else if (kind == QLatin1String("big"))
            content = answerFor("big") + QByteArray(2000, ' ');
        else if (kind == QLatin1String("binary"))
            content = answerFor("bin") + QByteArray("\0\x01\x02", 3);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    static QString keyName(const QString &serial, const QDateTime &when = kNewer)
    {
        return SerialFileName::keyFileName(serial, when);
    }
    static QString keyName(const char *serial, const QDateTime &when = kNewer) { return keyName(S(serial), when); }
    // A file of a row: name and kind.
    static QString file(const QString &name, const char *kind) { return name + QLatin1Char('=') + S(kind); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        // The working folder is the home folder's VoskReset.
        qputenv("HOME", QFile::encodeName(m_home.path()));
        QCOMPARE(resetWorkingFolder(), m_home.filePath(QStringLiteral("VoskReset")));
    }

    void init()
    {
        VoskDouble::reset();
        m_answers = m_home.filePath(QStringLiteral("answers-%1-%2")
                                        .arg(QString::fromLatin1(QTest::currentTestFunction()),
                                             QString::fromLatin1(QByteArray(QTest::currentDataTag()).toHex())));
        QDir(m_answers).removeRecursively();
        QVERIFY(QDir().mkpath(m_answers));
        QDir(resetWorkingFolder()).removeRecursively();
        QFile::remove(resetWorkingFolder());
    }

    // One name per serial number, one serial number per name, letter case
    // not counted; a serial number that cannot be named is refused.
    void fileNames_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "VS0000100005" << "VS0000100005";
        QTest::newRow("model and dash") << "VC-2120A000100004" << "VC-2120A000100004";
        QTest::newRow("slash") << "AB/1" << "AB%2F1";
        QTest::newRow("backslash") << "AB\\1" << "AB%5C1";
        QTest::newRow("underscore") << "AB_1" << "AB%5F1";
        QTest::newRow("the escape itself") << "AB%2F1" << "AB%252F1";
        QTest::newRow("plus") << "AB+1" << "AB%2B1";
        QTest::newRow("dot file") << ".xml" << "%2E%78%6D%6C";
        QTest::newRow("lower case") << "ab1" << "%61%621";
        QTest::newRow("windows reserved") << "A:B*C?\"<>|" << "A%3AB%2AC%3F%22%3C%3E%7C";
        QTest::newRow("controls") << QStringLiteral("A\x1b]0;x\x07") << "A%1B%5D0%3B%78%07";
        QTest::newRow("latin-1") << QStringLiteral("Z\u00e9") << "Z%E9";
        QTest::newRow("longest") << QString(47, QLatin1Char('A')) << QString(47, QLatin1Char('A'));
        QTest::newRow("too long") << QString(48, QLatin1Char('A')) << "";
        QTest::newRow("outside latin-1") << QStringLiteral("Z\u4e2d") << "";
        QTest::newRow("empty") << "" << "";
    }
    void fileNames()
    {
        QFETCH(QString, serial);
        QFETCH(QString, name);
        QCOMPARE(SerialFileName::encode(serial), name);
        if (name.isEmpty()) {
            QVERIFY(keyName(serial).isEmpty());
            QVERIFY(deviceKeyFileName(QStringLiteral("/k"), serial, kNewer).isEmpty());
            return;
        }
        QCOMPARE(SerialFileName::decode(name).value_or(S("<none>")), serial);
        // Nothing a case-insensitive folder would fold onto another name.
        QCOMPARE(name.toUpper(), name);
        const auto parsed = SerialFileName::parseKeyFileName(keyName(serial));
        QVERIFY(parsed);
        QCOMPARE(parsed->serialNumber, serial);
        QCOMPARE(parsed->stamp, QStringLiteral("202612061020"));
        QVERIFY(!parsed->legacy);
    }

    // Names of files in an answers folder: which serial number each stands
    // for, and which stand for none (empty).
    void readNames_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<bool>("legacy");
        QTest::newRow("this version's") << "AB%2F1-202612061020.xml" << "AB/1" << false;
        QTest::newRow("extension in upper case") << "AB1-202612061020.XML" << "AB1" << false;
        QTest::newRow("old name, unambiguous") << "AB+1-202612061020.xml" << "AB+1" << true;
        QTest::newRow("old name with '_': '/', '\\' or '_'") << "AB_1-202612061020.xml" << "" << false;
        QTest::newRow("old name in lower case") << "ab1-202612061020.xml" << "" << false;
        QTest::newRow("second spelling of A") << "%41B1-202612061020.xml" << "" << false;
        QTest::newRow("lower-case escape") << "AB%2f1-202612061020.xml" << "" << false;
        QTest::newRow("cut escape") << "AB%2-202612061020.xml" << "" << false;
        QTest::newRow("no stamp") << "AB1.xml" << "" << false;
        QTest::newRow("short stamp") << "AB1-2026120610.xml" << "" << false;
        QTest::newRow("only a stamp") << "-202612061020.xml" << "" << false;
        QTest::newRow("another extension") << "AB1-202612061020.xml.txt" << "" << false;
    }
    void readNames()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, serial);
        QFETCH(bool, legacy);
        const auto parsed = SerialFileName::parseKeyFileName(fileName);
        if (serial.isEmpty()) {
            QVERIFY2(!parsed, qPrintable(parsed ? parsed->serialNumber : QString()));
            return;
        }
        QVERIFY(parsed);
        QCOMPARE(parsed->serialNumber, serial);
        QCOMPARE(parsed->legacy, legacy);
    }

    // Which answer file a device is matched to, given the folder's files
    // ("name=kind", see makeFile): the file's name, or none with the reason.
    void matching_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("matched");
        QTest::addColumn<QString>("problem");
        const QString ab1 = keyName("AB/1");
        QTest::newRow("'.xml' is in every name, and matches none")
            << ".xml"
            << QStringList{file(ab1, "answer:ab1"), file(S("answer.xml"), "answer:x"),
                           file(S("X.xml-202612061020.xml"), "answer:y")}
            << "" << "";
        QTest::newRow("'_' matches its own file")
            << "AB_1" << QStringList{file(keyName("AB_1"), "answer:ab_1")} << keyName("AB_1") << "";
        QTest::newRow("'AB/1' not sent AB_1's answer")
            << "AB/1"
            << QStringList{file(keyName("AB_1"), "answer:ab_1"), file(S("AB_1-202612061020.xml"), "answer:old")}
            << "" << "";
        QTest::newRow("'AB\\1' not sent AB/1's answer") << "AB\\1" << QStringList{file(ab1, "answer:ab1")} << ""
                                                       << "";
        QTest::newRow("a serial inside another")
            << "VS1" << QStringList{file(keyName("VS12"), "answer:vs12"), file(keyName("XVS1"), "answer:xvs1")}
            << "" << "";
        QTest::newRow("letter case counts") << "ab1" << QStringList{file(keyName("AB1"), "answer:AB1")} << "" << "";
        QTest::newRow("old name still read") << "VS+1" << QStringList{file(S("VS+1-202612061020.xml"), "answer:old")}
                                             << "VS+1-202612061020.xml" << "";
        QTest::newRow("newest export first")
            << "VS1" << QStringList{file(keyName("VS1", kOlder), "answer:old"), file(keyName("VS1"), "answer:new")}
            << keyName("VS1") << "";
        QTest::newRow("newest is junk: the older answer")
            << "VS1" << QStringList{file(keyName("VS1", kOlder), "answer:old"), file(keyName("VS1"), "junk")}
            << keyName("VS1", kOlder) << "";
        QTest::newRow("link to a FIFO") << "VS1" << QStringList{file(keyName("VS1"), "fifo-link")} << ""
                                        << "not a regular file";
        QTest::newRow("link to /dev/zero") << "VS1" << QStringList{file(keyName("VS1"), "zero-link")} << ""
                                           << "not a regular file";
        QTest::newRow("a folder") << "VS1" << QStringList{file(keyName("VS1"), "dir")} << "" << "";
        QTest::newRow("empty") << "VS1" << QStringList{file(keyName("VS1"), "empty")} << "" << "is empty";
        QTest::newRow("over 1000 bytes") << "VS1" << QStringList{file(keyName("VS1"), "big")} << ""
                                         << "larger than 1000 bytes";
        QTest::newRow("not an answer") << "VS1" << QStringList{file(keyName("VS1"), "junk")} << ""
                                       << "holds no answer";
        QTest::newRow("binary") << "VS1" << QStringList{file(keyName("VS1"), "binary")} << "" << "holds no answer";
    }
    void matching()
    {
        QFETCH(QString, serial);
        QFETCH(QStringList, files);
        QFETCH(QString, matched);
        QFETCH(QString, problem);
        for (const QString &file : files) {
            const qsizetype at = file.lastIndexOf(QLatin1Char('='));
            makeFile(file.left(at), file.mid(at + 1));
        }
        const ResetPlan plan =
            matchAnswerFiles({{serial, QStringLiteral("02-00-00-00-00-01")}}, m_answers, "Batch#Reset7");
        if (matched.isEmpty()) {
            QVERIFY(plan.blocks.isEmpty());
            QCOMPARE(plan.mismatched, QStringList(serial));
            QVERIFY2(plan.problems.value(serial).contains(problem), qPrintable(plan.problems.value(serial)));
            QCOMPARE(plan.problems.contains(serial), !problem.isEmpty());
            return;
        }
        QVERIFY(plan.mismatched.isEmpty());
        const QString path = QDir(m_answers).absoluteFilePath(matched);
        QCOMPARE(plan.answerFiles.value(serial), path);
        QCOMPARE(QByteArray(plan.blocks.value(serial).answerFilePath), QFile::encodeName(path));
    }

    // The export phase for a set of devices: what the library is asked for,
    // which key files appear, what is reported, what out_error.txt holds.
    void exportKeys_data()
    {
        QTest::addColumn<QStringList>("serials");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QString>("setup");
        // Per device: "done", a reason's words, or "error" (the library's).
        QTest::addColumn<QStringList>("results");
        QTest::newRow("AB/1, AB\\1, AB_1: three files")
            << L({"AB/1", "AB\\1", "AB_1"}) << QByteArray("V1.key") << "" << L({"done", "done", "done"});
        QTest::newRow("'+' asked whole") << L({"AB+1", "AB"}) << QByteArray("V1.key") << "" << L({"done", "done"});
        QTest::newRow("not Latin-1") << QStringList{QStringLiteral("Z\u4e2d"), S("VS1")} << QByteArray("V1.key") << ""
                                     << L({"cannot be written", "done"});
        QTest::newRow("twice the same serial") << L({"VS1", "VS1"}) << QByteArray("V1.key") << ""
                                               << L({"done", "listed twice"});
        QTest::newRow("empty key") << L({"VS1"}) << QByteArray() << "" << L({"empty key"});
        QTest::newRow("refused") << L({"VS1"}) << QByteArray("V1.key") << "refuse" << L({"error"});
        QTest::newRow("folder cannot be written") << L({"VS1", "VS2"}) << QByteArray("V1.key") << "blocked"
                                                  << L({"not written", "not written"});
    }

    void exportKeys()
    {
        QFETCH(QStringList, serials);
        QFETCH(QByteArray, key);
        QFETCH(QString, setup);
        QFETCH(QStringList, results);
        VoskDouble::setConfigAnswer(keyAnswer(key));
        if (setup == QLatin1String("refuse")) {
            VoskDouble::setResult(QStringLiteral("VOSK_GetDeviceConfig_ByPair"), 0);
            VoskDouble::setLastError(VOSK_ERR_DEVICE_DENY);
        }
        if (setup == QLatin1String("blocked")) {
            // Even root cannot make a folder where a file stands.
            QFile blocker(resetWorkingFolder());
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        QVector<ExportEntry> entries;
        for (const QString &serial : serials)
            entries.append({serial, QStringLiteral("2026-12-06 10:20:00"), {serial, QStringLiteral("02-00-00-00-00-01")}});
        ResetPasswordThread worker;
        worker.setType(ResetPasswordThread::TypeExport);
        worker.setExportList(entries);
        // Each signal finds its device's outcome already in the results.
        std::atomic<int> signalled{0};
        std::atomic<bool> inOrder{true};
        connect(&worker, &ResetPasswordThread::signalDeviceDone, this, [&] {
            if (worker.outcomes().size() != ++signalled)
                inOrder = false;
        }, Qt::DirectConnection);
        worker.start();
        QVERIFY(worker.wait(30000));

        const QVector<RecoveryOutcome> outcomes = worker.outcomes();
        QCOMPARE(outcomes.size(), serials.size());
        QCOMPARE(signalled.load(), int(serials.size()));
        QVERIFY(inOrder);
        QStringList asked;
        for (const VoskDouble::Call &call : VoskDouble::calls()) {
            if (call.function != QLatin1String("VOSK_GetDeviceConfig_ByPair"))
                continue;
            asked << QString::fromLatin1(call.args.at(0).toByteArray());
            // Addressed by the pair, never by the serial number alone.
            QCOMPARE(call.args.at(1).toByteArray(), QByteArray("02-00-00-00-00-01"));
        }
        QStringList expectAsked;
        QStringList errorLines;
        const QDir work(resetWorkingFolder());
        for (int i = 0; i < serials.size(); ++i) {
            const RecoveryOutcome &outcome = outcomes.at(i);
            const QString &expected = results.at(i);
            QCOMPARE(outcome.serialNumber, serials.at(i));
            QCOMPARE(outcome.done, expected == QLatin1String("done"));
            if (expected == QLatin1String("error"))
                QCOMPARE(outcome.errorCode, int(VOSK_ERR_DEVICE_DENY));
            else if (!outcome.done)
                QVERIFY2(outcome.problem.contains(expected), qPrintable(outcome.problem));
            if (outcome.done || expected == QLatin1String("error") || expected.contains(QLatin1String("not written"))
                || expected == QLatin1String("empty key"))
                expectAsked << serials.at(i);
            if (outcome.done) {
                const QString prefix = SerialFileName::encode(serials.at(i)) + QLatin1Char('-');
                const QStringList files = work.entryList({prefix + QStringLiteral("*.xml")}, QDir::Files);
                QCOMPARE(files.size(), 1);
                QCOMPARE(readAll(work.filePath(files.first())), key);
            } else {
                errorLines << serials.at(i);
            }
        }
        // Asked for exactly its own serial number, never a part of it.
        QCOMPARE(asked, expectAsked);
        QCOMPARE(worker.errorOccurred(), !errorLines.isEmpty());
        if (setup == QLatin1String("blocked")) {
            QVERIFY(!worker.errorFileWritten());
            return;
        }
        const QByteArray list = readAll(work.filePath(QStringLiteral("out_error.txt")));
        if (errorLines.isEmpty()) {
            QCOMPARE(list, QByteArray("<missing>"));
            return;
        }
        const QList<QByteArray> lines = list.split('\n');
        QCOMPARE(lines.size(), errorLines.size() + 1);
        for (int i = 0; i < errorLines.size(); ++i) {
            QVERIFY(lines.at(i).startsWith(errorLines.at(i).toUtf8() + "+2026-12-06 10:20:00 software: "));
            QVERIFY(lines.at(i).endsWith('\r'));
        }
    }

    // The reset phase end to end on the double: each device is sent its own
    // answer file and nothing else; a file that stopped being an answer
    // after matching is not sent.
    void resetSendsOwnAnswers()
    {
        const QStringList serials = L({".xml", "AB/1", "AB\\1", "AB_1", "VS1"});
        for (const char *serial : {"AB/1", "AB_1", "VS1"})
            makeFile(keyName(serial), S("answer:") + S(serial));
        makeFile(QStringLiteral("AB_1-202612061020.xml"), QStringLiteral("answer:old"));
        QVector<DeviceKey> devices;
        for (const QString &serial : serials)
            devices.append({serial, QStringLiteral("02-00-00-00-00-01")});
        ResetPlan plan = matchAnswerFiles(devices, m_answers, "Batch#Reset7");
        QCOMPARE(plan.mismatched, L({".xml", "AB\\1"}));
        QVERIFY(writeMismatchList(plan.mismatched));
        QCOMPARE(readAll(QDir(resetWorkingFolder()).filePath(QStringLiteral("mismatch.txt"))),
                 QByteArray(".xml\r\nAB\\1\r\n"));

        // Between matching and sending, VS1's file is replaced by junk.
        QFile::remove(QDir(m_answers).filePath(keyName("VS1")));
        makeFile(keyName("VS1"), QStringLiteral("junk"));

        ResetPasswordThread worker;
        worker.setType(ResetPasswordThread::TypeReset);
        worker.setResetParams(plan.blocks);
        worker.setAnswerFiles(plan.answerFiles);
        worker.setResetDevices(plan.devices);
        worker.start();
        QVERIFY(worker.wait(30000));

        QMap<QString, QByteArray> sent;
        for (const VoskDouble::Call &call : VoskDouble::calls()) {
            if (call.function != QLatin1String("VOSK_ResetPasswd_ByPair"))
                continue;
            QCOMPARE(call.args.at(1).toByteArray(), QByteArray("02-00-00-00-00-01"));
            const QByteArray block = call.args.at(2).toByteArray();
            // The library is handed a copy of the bytes just checked, not
            // the user's file, which could change after the check.
            const QString path = QString::fromLocal8Bit(block.mid(256, 260).constData());
            QVERIFY2(!path.startsWith(m_answers), qPrintable(path));
            sent.insert(QString::fromLatin1(call.args.at(0).toByteArray()), call.args.at(3).toByteArray());
            QCOMPARE(block.mid(516, 12), QByteArray("Batch#Reset7"));
            QVERIFY(!QFile::exists(path)); // and the copy is gone after the call
        }
        QCOMPARE(sent.keys(), L({"AB/1", "AB_1"}));
        for (auto it = sent.cbegin(); it != sent.cend(); ++it)
            QCOMPARE(it.value(), answerFor(it.key().toLatin1()));
        const QVector<RecoveryOutcome> outcomes = worker.outcomes();
        QCOMPARE(outcomes.size(), 3);
        QVERIFY(!outcomes.at(2).done);
        QVERIFY(outcomes.at(2).problem.contains(QLatin1String("holds no answer")));
        QCOMPARE(readAll(QDir(resetWorkingFolder()).filePath(QStringLiteral("in_error.txt"))),
                 QByteArray("VS1 + software:  error: the answer file holds no answer\r\n"));
    }

    // The window's single reset copies only an answer, and never waits on a
    // FIFO.
    void answerCopyRefusesJunk_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("made");
        QTest::newRow("answer") << "answer:one" << true;
        QTest::newRow("fifo-link") << "fifo-link" << false;
        QTest::newRow("zero-link") << "zero-link" << false;
        QTest::newRow("empty") << "empty" << false;
        QTest::newRow("junk") << "junk" << false;
    }
    void answerCopyRefusesJunk()
    {
        QFETCH(QString, kind);
        QFETCH(bool, made);
        makeFile(QStringLiteral("picked.xml"), kind);
        const QString target = m_home.filePath(QStringLiteral("copy.xml"));
        QCOMPARE(makeAnswerCopy(QDir(m_answers).filePath(QStringLiteral("picked.xml")), target) == AnswerCopy::Made,
                 made);
        QCOMPARE(QFile::exists(target), made);
    }
};

QTEST_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
