// The library's log file: two programs writing it at once (the window and
// the console program) lose nothing and mix nothing, a start never cuts
// another program's log, and control characters from devices are escaped.

#include "vosk/vosk.h"
#include "vosk/vosklog.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The lines of the log, and whether every one of them was whole.
QList<QByteArray> logLines(const QString &path, bool *wellFormed)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.readAll();
    *wellFormed = !text.contains('\0') && text.endsWith('\n');
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast();
    return lines;
}

} // namespace

class TestVoskLog final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString logPath() const { return m_dir.filePath(QStringLiteral("vosk.log")); }

    void startProbe(QProcess &probe, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VOSK_LOG_DIR"), m_dir.path());
        probe.setProcessEnvironment(env);
        probe.start(QStringLiteral(VOSK_LOGPROBE_PATH), arguments);
    }
    static bool finished(QProcess &probe)
    {
        return probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void twoProgramsAtOnceLoseNothing()
    {
        constexpr int kLines = 3000;
        // A is running (its first half written) when B starts and asks for a
        // fresh file: B must append instead. Then both write at once.
        QProcess a, b;
        startProbe(a, {QStringLiteral("A"), QString::number(kLines), QStringLiteral("1"),
                       QString::number(kLines / 2)});
        QVERIFY(a.waitForReadyRead(10000));
        QCOMPARE(a.readLine().trimmed(), QByteArray("ready"));
        // B, too, says when it has opened the log: were A let go before
        // that, A could finish and close it first, and B would then rightly
        // start the file afresh.
        startProbe(b, {QStringLiteral("B"), QString::number(kLines), QStringLiteral("1"), QStringLiteral("0")});
        QVERIFY(b.waitForReadyRead(10000));
        QCOMPARE(b.readLine().trimmed(), QByteArray("ready"));
        a.write("go\n");
        b.write("go\n");
        QVERIFY(finished(a));
        QVERIFY(finished(b));

        bool wellFormed = false;
        const QList<QByteArray> lines = logLines(logPath(), &wellFormed);
        QVERIFY(wellFormed);
        QCOMPARE(lines.size(), 2 * kLines);
        static const QRegularExpression shape(QStringLiteral("^\\S+ I ([AB]) (\\d+)$"));
        QSet<QString> seen;
        for (const QByteArray &line : lines) {
            const QRegularExpressionMatch match = shape.match(QString::fromLatin1(line));
            QVERIFY2(match.hasMatch(), line.constData());
            seen.insert(match.captured(1) + match.captured(2));
        }
        QCOMPARE(seen.size(), 2 * kLines);
        QVERIFY(seen.contains(QStringLiteral("A0")) && seen.contains(QStringLiteral("B0")));
        QCOMPARE(QFile::permissions(logPath()) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    }

    void aProgramAloneStartsAfresh()
    {
        QProcess c;
        startProbe(c, {QStringLiteral("C"), QStringLiteral("10"), QStringLiteral("1")});
        QVERIFY(finished(c));
        bool wellFormed = false;
        QCOMPARE(logLines(logPath(), &wellFormed).size(), 10);
        // Truncate 0 appends.
        QProcess d;
        startProbe(d, {QStringLiteral("D"), QStringLiteral("5"), QStringLiteral("0")});
        QVERIFY(finished(d));
        QCOMPARE(logLines(logPath(), &wellFormed).size(), 15);
        QVERIFY(wellFormed);
    }

    void controlCharactersAreEscaped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain") << QStringLiteral("modify VS000123: 0") << QStringLiteral("modify VS000123: 0");
        QTest::newRow("title escape") << QStringLiteral("modify AB\x1b]0;pwned\x07: 0")
                                      << QStringLiteral("modify AB\\x1b]0;pwned\\x07: 0");
        QTest::newRow("line break") << QStringLiteral("key 1 of A\r\nI forged exported")
                                    << QStringLiteral("key 1 of A\\x0d\\x0aI forged exported");
        QTest::newRow("C1 CSI and DEL") << QString::fromLatin1("A\x9b" "31m\x7f")
                                        << QStringLiteral("A\\x9b31m\\x7f");
        QTest::newRow("backslash stays unambiguous") << QStringLiteral("A\\x1b") << QStringLiteral("A\\\\x1b");
        QTest::newRow("Latin-1 letters stay") << QString::fromLatin1("Kamera-\xe9t\xe9") << QString::fromLatin1("Kamera-\xe9t\xe9");
    }

    void controlCharactersAreEscaped()
    {
        QFETCH(QString, text);
        QFETCH(QString, written);
        QCOMPARE(VoskNet::escapeControls(text), written);
        qputenv("VOSK_LOG_DIR", QFile::encodeName(m_dir.path()));
        QCOMPARE(VOSK_SetLogToFile(3, 0, 1), 1);
        VoskNet::logLine(VoskNet::LogLevel::Info, text);
        QCOMPARE(VOSK_SetLogToFile(0, 0, 0), 1);
        bool wellFormed = false;
        const QList<QByteArray> lines = logLines(logPath(), &wellFormed);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().endsWith(" I " + written.toUtf8()));
        for (const char c : lines.first())
            QVERIFY(quint8(c) >= 0x20 && quint8(c) != 0x7f);
    }
};

QTEST_GUILESS_MAIN(TestVoskLog)
#include "tst_vosklog.moc"
