// The batch plan of vosktool-cli: what a line means and which plans are
// refused before anything is sent.

#include "tools/cli/batchplan.h"

#include <QBuffer>
#include <QTest>

namespace {

template <typename... Texts>
QStringList texts(Texts... items)
{
    return {QString::fromUtf8(items)...};
}

} // namespace

class TestBatchPlan final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The device list of passwd: the first cell of each line, so that a
    // plan or a CSV listing serves; faults by line, never quoted whole.
    void readSerials_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("expected"); // the serial numbers, or the messages

        QTest::newRow("plan with header and comment")
            << QByteArray("\xEF\xBB\xBFserial,ip\r\n# site A\r\n\r\nS1,10.0.0.1\r\n\"S,2\"\nS3\n") << true
            << texts("S1", "S,2", "S3");
        QTest::newRow("listed twice") << QByteArray("S1\nS2\nS1,x\n") << false
                                      << texts("line 3: S1: listed already on line 1");
        QTest::newRow("NUL and too long, not quoted")
            << (QByteArray("S1\nS\0X\n", 7) + QByteArray(2000, 'A') + "\n") << false
            << texts("line 2: binary data or a NUL byte (not read)", "line 3: longer than 1024 bytes (not read)");
        QTest::newRow("no serial number") << QByteArray(",10.0.0.1\n") << false << texts("line 1: no serial number");
        QTest::newRow("nothing") << QByteArray("serial\n# none\n") << false << texts("the list names no device");
    }

    void readSerials()
    {
        QFETCH(QByteArray, list);
        QFETCH(bool, ok);
        QFETCH(QStringList, expected);
        QBuffer in(&list);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QStringList serials, errors;
        QCOMPARE(BatchPlan::readSerials(in, &serials, &errors), ok);
        QCOMPARE(ok ? serials : errors, expected);
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("plan");
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("dhcp");
        QTest::addColumn<bool>("ok");
        // Accepted: "serial ip mask gateway port httpPort" per line; refused:
        // the messages.
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("header, comment, blank line, byte-order mark")
            << QByteArray("\xEF\xBB\xBFSerial,IP,Mask\r\n# site A\r\n\r\nS1,10.0.0.1,255.0.0.0\r\n") << QString()
            << false << true << texts("S1 10.0.0.1 255.0.0.0 10.0.0.9 8000 ");
        QTest::newRow("start numbers the empty addresses by place in the plan")
            << QByteArray("S1\nS2,10.0.1.7\nS3,,,,9000,8080\nS4,10.0.2.1\nS5\n") << QStringLiteral("10.0.0.253")
            << false << true
            << texts("S1 10.0.0.253 255.0.0.0 10.0.0.9 8000 ", "S2 10.0.1.7 255.0.0.0 10.0.0.9 8000 ",
                     "S3 10.0.0.255 255.0.0.0 10.0.0.9 9000 8080", "S4 10.0.2.1 255.0.0.0 10.0.0.9 8000 ",
                     "S5 10.0.1.1 255.0.0.0 10.0.0.9 8000 ");
        QTest::newRow("counting on to a .0 address")
            << QByteArray("S1\nS2\n") << QStringLiteral("10.0.0.255") << false << false
            << texts("line 2: S2: --start 10.0.0.255 gives this device 10.0.1.0, which is not a host address");
        QTest::newRow("quoted cells") << QByteArray("\"S,1\",\" 10.0.0.1 \"\n\"S\"\"2\",10.0.0.2\n") << QString()
                                      << false << true
                                      << texts("S,1 10.0.0.1 255.0.0.0 10.0.0.9 8000 ",
                                                     "S\"2 10.0.0.2 255.0.0.0 10.0.0.9 8000 ");
        QTest::newRow("DHCP keeps the addresses") << QByteArray("S1\nS2,,,,8100\n") << QString() << true << true
                                                  << texts("S1    8000 ", "S2    8100 ");

        QTest::newRow("no address and no start") << QByteArray("S1\n") << QString() << false << false
                                                 << texts("line 1: S1: Please input IP Address. (or give --start)");
        QTest::newRow("bad start") << QByteArray("S1\n") << QStringLiteral("10.0.0.0") << false << false
                                   << texts("--start: IP Address not correct.");
        QTest::newRow("every bad value of a line, and the next line too")
            << QByteArray("S1,10.0.0.256,255.255.255.255,10.0.0.255,1999,0\nS2,1.2.3\n") << QString() << false
            << false
            << texts("line 1: S1: IP Address not correct.", "line 1: S1: Subnet Mask not correct.",
                           "line 1: S1: Gateway not correct.", "line 1: S1: Device port ranges from 2000 to 65535.",
                           "line 1: S1: Http port ranges from 1 to 65535.", "line 2: S2: IP Address not correct.");
        QTest::newRow("a serial number twice") << QByteArray("S1,10.0.0.1\nS1,10.0.0.2\n") << QString() << false
                                               << false << texts("line 2: S1: planned already on line 1");
        QTest::newRow("one address written two ways")
            << QByteArray("S1,10.0.0.010\nS2,10.0.0.10\n") << QString() << false << false
            << texts("line 2: S2: address 10.0.0.10 is planned on line 1 already");
        QTest::newRow("an explicit address the start also gives")
            << QByteArray("S1\nS2,10.0.0.1\n") << QStringLiteral("10.0.0.1") << false << false
            << texts("line 2: S2: address 10.0.0.1 is planned on line 1 already");
        QTest::newRow("start without room")
            << QByteArray("S1\nS2\nS3\n") << QStringLiteral("10.0.255.254") << false << false
            << texts("line 3: S3: --start 10.0.255.254 leaves no address for this device");
        QTest::newRow("address with DHCP") << QByteArray("S1,10.0.0.1\n") << QString() << true << false
                                           << texts("line 1: S1: with DHCP the device keeps its addresses: "
                                                          "leave ip, mask and gateway empty");
        QTest::newRow("seven fields") << QByteArray("S1,10.0.0.1,,,,,x\n") << QString() << false << false
                                      << texts("line 1: more than 6 fields (serial,ip,mask,gateway,port,"
                                                     "http_port)");
        QTest::newRow("no serial number") << QByteArray(",10.0.0.1\n") << QString() << false << false
                                          << texts("line 1: no serial number");
        QTest::newRow("unterminated quote") << QByteArray("\"S1,10.0.0.1\n") << QString() << false << false
                                            << texts("line 1: unterminated quote");
        QTest::newRow("nothing planned") << QByteArray("serial,ip\n# none yet\n") << QString() << false << false
                                         << texts("the plan names no device");
    }

    void read()
    {
        QFETCH(QByteArray, plan);
        QFETCH(QString, start);
        QFETCH(bool, dhcp);
        QFETCH(bool, ok);
        QFETCH(QStringList, expected);

        BatchPlan::Defaults defaults;
        defaults.start = start;
        defaults.dhcp = dhcp;
        if (!dhcp) {
            defaults.mask = QStringLiteral("255.0.0.0");
            defaults.gateway = QStringLiteral("10.0.0.9");
        }
        defaults.port = QStringLiteral("8000");
        QBuffer buffer(&plan);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QList<BatchPlan::Line> lines;
        QStringList errors;
        QCOMPARE(BatchPlan::read(buffer, defaults, &lines, &errors), ok);
        if (!ok) {
            QCOMPARE(errors, expected);
            return;
        }
        QVERIFY(errors.isEmpty());
        QStringList got;
        for (const BatchPlan::Line &line : lines)
            got << QStringList{line.serial, line.ip, line.mask, line.gateway, line.port, line.httpPort}.join(QLatin1Char(' '));
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TestBatchPlan)
#include "tst_batchplan.moc"
