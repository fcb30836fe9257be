// vosktool-cli and two devices that announce one MAC (simulators with seeds
// 256 apart): every command that would send a secret refuses them until
// the device is named by serial number and MAC (--pick), and then changes
// that device alone.

#include "tests/tools/clirun.h"
#include "tests/vosk/voskfixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace VoskTest;

namespace {

constexpr int kPort = 47244;
const char kGroup[] = "239.255.86.144";

using CliTest::Run;

Run cli(const QStringList &arguments)
{
    return CliTest::run(arguments + QStringList{QStringLiteral("--wait"), QStringLiteral("20000")});
}

VoskSim::SimDevice device0(quint64 seed)
{
    return fleet(seed, 1).front();
}

} // namespace

class TestCliIdentity final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Devsim m_simA;
    Devsim m_simB;
    quint64 m_seed = 0;
    QString m_serialA, m_serialB, m_mac;

    QString file(const char *name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(QLatin1String(name));
        QFile out(path);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(content);
        return path;
    }
    QJsonObject stateOf(char which, const QString &serial) const
    {
        QFile in(m_dir.filePath(QStringLiteral("state-%1.json").arg(which)));
        if (!in.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(in.readAll())
            .object()
            .value(QLatin1String("devices"))
            .toObject()
            .value(serial)
            .toObject();
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!foreignInterfaces().isEmpty())
            QSKIP("needs the private network namespace of ./test.sh");
        QVERIFY(m_dir.isValid());
        pinToLoopback(kPort, kGroup);
        for (quint64 seed = 1; seed < 250 && !m_seed; ++seed) {
            if (!device0(seed).record().notActivated && !device0(seed + 256).record().notActivated)
                m_seed = seed;
        }
        QVERIFY(m_seed);
        m_serialA = QString::fromLatin1(device0(m_seed).record().serialNumber);
        m_serialB = QString::fromLatin1(device0(m_seed + 256).record().serialNumber);
        m_mac = QString::fromLatin1(device0(m_seed).record().mac);
        QCOMPARE(QString::fromLatin1(device0(m_seed + 256).record().mac), m_mac);
        QVERIFY(m_simA.start({QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--seed"),
                              QString::number(m_seed), QStringLiteral("--state"), m_dir.filePath(QStringLiteral("state-a.json"))}));
        QVERIFY(m_simB.start({QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--seed"),
                              QString::number(m_seed + 256), QStringLiteral("--state"),
                              m_dir.filePath(QStringLiteral("state-b.json"))}));
    }

    void cleanupTestCase()
    {
        m_simA.stop();
        m_simB.stop();
    }

    // Nothing goes to either device unpicked, whatever the command.
    void refusedUntilPicked_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("refused"); // serial numbers with the refusal line
        const QString admin = file("admin.txt", "Admin12345\n");
        const QString code = file("code.txt", "1-ABCDEF\n");
        QTest::newRow("set") << QStringList{QStringLiteral("set"), m_serialB, QStringLiteral("--port"),
                                            QStringLiteral("8001"), QStringLiteral("--password-file"), admin}
                             << QStringList{m_serialB};
        QTest::newRow("activate") << QStringList{QStringLiteral("activate"), m_serialA,
                                                 QStringLiteral("--password-file"), file("new.txt", "Abcd1234!x\n")}
                                  << QStringList{m_serialA};
        QTest::newRow("restore") << QStringList{QStringLiteral("restore"), m_serialB, QStringLiteral("--code-file"),
                                                code}
                                 << QStringList{m_serialB};
        QTest::newRow("batch") << QStringList{QStringLiteral("batch"),
                                              file("plan.csv", m_serialA.toLatin1() + ",10.9.9.9,255.255.255.0,10.9.9.1,8000,80\n"),
                                              QStringLiteral("--password-file"), admin}
                               << QStringList{m_serialA};
        QTest::newRow("pick of a pair no device has") << QStringList{QStringLiteral("set"), m_serialB,
                                                                     QStringLiteral("--port"), QStringLiteral("8001"),
                                                                     QStringLiteral("--password-file"), admin,
                                                                     QStringLiteral("--pick"),
                                                                     m_serialB + QStringLiteral("@02-00-00-00-00-99")}
                                                      << QStringList{};
    }

    void refusedUntilPicked()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, refused);
        const QJsonObject before[] = {stateOf('a', m_serialA), stateOf('b', m_serialB)};
        const Run run = cli(arguments);
        QCOMPARE(run.code, 1);
        for (const QString &serial : refused) {
            QVERIFY2(run.out.contains((serial + QStringLiteral("\tIdentity shared with another device: nothing "
                                                               "sent.\n")).toLatin1()),
                     run.out.constData());
            // Standard error names both devices and the way out.
            QVERIFY(run.err.contains(m_serialA.toLatin1()) && run.err.contains(m_serialB.toLatin1()));
            QVERIFY(run.err.contains("--pick SERIAL@MAC"));
        }
        if (refused.isEmpty())
            QVERIFY2(run.out.endsWith("\tDevice not found.\n"), run.out.constData());
        QTest::qWait(300);
        QCOMPARE(stateOf('a', m_serialA), before[0]);
        QCOMPARE(stateOf('b', m_serialB), before[1]);
    }

    void pickedDeviceAloneChanges()
    {
        const QJsonObject before = stateOf('a', m_serialA);
        const Run run = cli({QStringLiteral("set"), m_serialB, QStringLiteral("--port"), QStringLiteral("8001"),
                             QStringLiteral("--password-file"), file("admin.txt", "Admin12345\n"),
                             QStringLiteral("--pick"), m_serialB + QLatin1Char('@') + m_mac});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, (m_serialB + QStringLiteral("\tSucceed\tapplied\n")).toLatin1());
        QTRY_COMPARE(stateOf('b', m_serialB).value(QLatin1String("port")).toInt(), 8001);
        QCOMPARE(stateOf('a', m_serialA), before);
    }
};

QTEST_GUILESS_MAIN(TestCliIdentity)
#include "tst_cliidentity.moc"
