// The operations core without a network: the rules a change is checked
// and built by, and the runner over fake kinds of device, which is how a
// second kind joins without a change in the pane, the worker or the
// console.

#include "operations/addressclashes.h"
#include "operations/changeconfirmer.h"
#include "operations/devicekinds.h"
#include "operations/netparams.h"
#include "operations/operationrunner.h"
#include "operations/operationwords.h"
#include "operations/resultcsv.h"

#include <QBuffer>
#include <QMutex>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cstring>
#include <initializer_list>

using namespace VoskTool;

namespace {

DeviceKey key(const char *serial)
{
    return {QString::fromLatin1(serial), QStringLiteral("00-00-00-00-00-") + QString::fromLatin1(serial).right(2)};
}

// A kind of device that answers for the serial numbers with its prefix:
// each call waits `delayMs` (less for later jobs, so they finish first),
// counts how many run at once, and fails the serial numbers it is told to.
class FakeKind final : public DeviceOperations
{
public:
    explicit FakeKind(QString prefix, int delayMs = 0) : m_prefix(std::move(prefix)), m_delayMs(delayMs) {}

    QString kindName() const override { return m_prefix; }
    bool handles(const DeviceKey &device) const override { return device.serialNumber.startsWith(m_prefix); }
    OperationOutcome setNetParams(const DeviceKey &device, const QByteArray &password, const NetParams &) override
    {
        return call(device, password);
    }
    OperationOutcome activate(const DeviceKey &device, const QByteArray &password) override
    {
        return call(device, password);
    }
    OperationOutcome changePassword(const DeviceKey &device, const QByteArray &oldPassword,
                                    const QByteArray &) override
    {
        return call(device, oldPassword);
    }
    OperationOutcome exportKey(const DeviceKey &, bool, QByteArray *) override { return {OperationStatus::Unsupported, 0}; }
    OperationOutcome resetPassword(const DeviceKey &, const ResetPasswdParam &) override
    {
        return {OperationStatus::Unsupported, 0};
    }
    OperationOutcome restoreDefaultPassword(const DeviceKey &, const QByteArray &) override
    {
        return {OperationStatus::Unsupported, 0};
    }

    QStringList failing;
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    std::atomic<int> calls{0};
    QByteArray lastPassword;

private:
    OperationOutcome call(const DeviceKey &device, const QByteArray &password)
    {
        const int now = ++running;
        int most = mostAtOnce;
        while (now > most && !mostAtOnce.compare_exchange_weak(most, now)) {
        }
        ++calls;
        {
            QMutexLocker locker(&m_mutex);
            lastPassword = password;
        }
        const int index = device.serialNumber.mid(m_prefix.size()).toInt();
        QThread::msleep(ulong(qMax(0, m_delayMs - index)));
        --running;
        if (failing.contains(device.serialNumber))
            return {OperationStatus::TimedOut, 2011};
        return OperationOutcome::done();
    }

    QString m_prefix;
    int m_delayMs;
    QMutex m_mutex;
};

QStringList strings(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list << QString::fromLatin1(text);
    return list;
}

QVector<OperationJob> jobsFor(const QStringList &serials)
{
    QVector<OperationJob> jobs;
    for (const QString &serial : serials)
        jobs.append({key(serial.toLatin1().constData()), {}});
    return jobs;
}

} // namespace

class tst_OperationsCore final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void clashes_data()
    {
        QTest::addColumn<QStringList>("planned"); // "serial=address", address empty: keeps its own
        QTest::addColumn<QStringList>("listed");  // "serial=address"
        QTest::addColumn<QStringList>("expected"); // "serial>address>holder"

        QTest::newRow("free address") << strings({"A1=10.0.0.5"}) << strings({"A1=10.0.0.1", "B1=10.0.0.2"})
                                      << QStringList{};
        QTest::newRow("held by another") << strings({"A1=10.0.0.2"}) << strings({"A1=10.0.0.1", "B1=10.0.0.2"})
                                         << strings({"A1>10.0.0.2>B1"});
        QTest::newRow("leading zeros are the same address")
            << strings({"A1=10.0.0.002"}) << strings({"A1=10.0.0.1", "B1=10.0.0.2"})
            << strings({"A1>10.0.0.002>B1"});
        QTest::newRow("freed by a device of the batch moving away")
            << strings({"A1=10.0.0.2", "B1=10.0.0.3"}) << strings({"A1=10.0.0.1", "B1=10.0.0.2"})
            << QStringList{};
        QTest::newRow("held by a device of the batch that keeps it")
            << strings({"A1=10.0.0.2", "B1="}) << strings({"A1=10.0.0.1", "B1=10.0.0.2"})
            << strings({"A1>10.0.0.2>B1"});
        QTest::newRow("same address twice in the batch")
            << strings({"A1=10.0.0.9", "B1=10.0.0.9"}) << strings({"A1=10.0.0.1", "B1=10.0.0.2"})
            << strings({"B1>10.0.0.9>A1"});
        QTest::newRow("keeping its own address") << strings({"A1=10.0.0.1"}) << strings({"A1=10.0.0.1"})
                                                 << QStringList{};
        // Two devices that already share an address: either may change its
        // other values, whichever was listed first.
        QTest::newRow("keeping an address another holds too, listed after it")
            << strings({"A1=10.0.0.1"}) << strings({"B1=10.0.0.1", "A1=10.0.0.1"}) << QStringList{};
        QTest::newRow("keeping an address another holds too, listed before it")
            << strings({"A1=10.0.0.1"}) << strings({"A1=10.0.0.1", "B1=10.0.0.1"}) << QStringList{};
        QTest::newRow("given the address the one keeping it shares")
            << strings({"A1=10.0.0.1", "C1=10.0.0.1"}) << strings({"B1=10.0.0.1", "A1=10.0.0.1", "C1=10.0.0.3"})
            << strings({"C1>10.0.0.1>B1"});
        QTest::newRow("no gateway-like address counts") << strings({"A1=0.0.0.0"}) << strings({"B1=0.0.0.0"})
                                                        << QStringList{};
        QTest::newRow("two clashes listed")
            << strings({"A1=10.0.0.3", "B1=10.0.0.4"}) << strings({"C1=10.0.0.3", "D1=10.0.0.4"})
            << strings({"A1>10.0.0.3>C1", "B1>10.0.0.4>D1"});
    }

    void clashes()
    {
        QFETCH(QStringList, planned);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, expected);
        auto split = [](const QString &entry) { return entry.split(QLatin1Char('=')); };
        QVector<PlannedAddress> plan;
        for (const QString &entry : planned)
            plan.append({key(split(entry).at(0).toLatin1().constData()), split(entry).at(1)});
        QVector<HeldAddress> held;
        for (const QString &entry : listed)
            held.append({key(split(entry).at(0).toLatin1().constData()), split(entry).at(1)});
        QStringList found;
        for (const AddressClash &clash : findAddressClashes(plan, held))
            found << clash.device.serialNumber + QLatin1Char('>') + clash.address + QLatin1Char('>')
                         + clash.holder.serialNumber;
        QCOMPARE(found, expected);
        if (!expected.isEmpty())
            QVERIFY(clashMessage(findAddressClashes(plan, held), false).contains(QStringLiteral(" would get ")));
    }

    void batchPlan()
    {
        NetParams camera;
        camera.ipv4Address = QStringLiteral("192.168.1.64");
        camera.ipv4Mask = QStringLiteral("255.255.255.0");
        camera.ipv4Gateway = QStringLiteral("192.168.1.1");
        camera.port = 8000;
        camera.httpPort = 80;
        NetParams noInfo = camera;
        noInfo.addressInfo = false;
        noInfo.ipv4Gateway.clear();
        noInfo.httpPort = 0;

        BatchSettings settings;
        settings.start = QStringLiteral("10.1.1.255");
        settings.mask = QStringLiteral("255.255.0.0");
        settings.gateway = QStringLiteral("10.1.0.1");
        settings.httpPort = 8080;
        const QVector<NetParams> planned = planBatch({camera, noInfo, camera}, settings);
        QCOMPARE(planned.size(), 3);
        QCOMPARE(planned.at(0).ipv4Address, QStringLiteral("10.1.1.255"));
        QCOMPARE(planned.at(1).ipv4Address, QStringLiteral("10.1.2.0"));
        QCOMPARE(planned.at(2).ipv4Address, QStringLiteral("10.1.2.1"));
        QCOMPARE(planned.at(0).ipv4Gateway, QStringLiteral("10.1.0.1"));
        // A device that keeps no gateway is sent none, nor an HTTP port.
        QVERIFY(planned.at(1).ipv4Gateway.isEmpty());
        QCOMPARE(planned.at(1).httpPort, 0);
        QCOMPARE(planned.at(0).httpPort, 8080);
        // The port was not given: kept.
        QCOMPARE(planned.at(2).port, 8000);

        // DHCP: every address kept, DHCP on.
        BatchSettings dhcp;
        dhcp.dhcp = true;
        dhcp.start = QStringLiteral("10.1.1.1");
        const QVector<NetParams> kept = planBatch({camera}, dhcp);
        QCOMPARE(kept.at(0).ipv4Address, camera.ipv4Address);
        QVERIFY(kept.at(0).dhcp);

        // One device: what is not given keeps the device's value.
        NetChange change;
        change.port = 8123;
        change.httpPort = 0; // an empty HTTP field
        const NetParams single = applyChange(camera, change);
        QCOMPARE(single.ipv4Address, camera.ipv4Address);
        QCOMPARE(single.port, 8123);
        QCOMPARE(single.httpPort, 80);
    }

    void batchFieldRulesFromRecords()
    {
        VOSK_DEVICE_INFO fixedType;
        std::memset(&fixedType, 0, sizeof fixedType);
        fixedType.deviceTypeCode = 0x9E00;
        fixedType.port = 8000;
        fixedType.httpPort = 80;
        fixedType.addressInfoValid = 1;
        VOSK_DEVICE_INFO other = fixedType;
        other.deviceTypeCode = 0x1234;
        other.port = 8001;

        BatchFieldRules rules = batchFieldRules({fixedType, fixedType});
        QVERIFY(!rules.addressEditable);
        QVERIFY(!rules.gatewayEditable); // no start address, no gateway
        QVERIFY(rules.portEditable);
        rules = batchFieldRules({fixedType, other});
        QVERIFY(rules.addressEditable);
        QVERIFY(rules.gatewayEditable);
        QVERIFY(!rules.portEditable);
        other.httpPort = 0;
        QVERIFY(!batchFieldRules({fixedType, other}).httpPortEditable);
    }

    void resultWords_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("batch");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("words");

        const int modify = int(OperationKind::SetNetParams), activate = int(OperationKind::Activate);
        QTest::newRow("modify deny") << modify << true << int(OperationStatus::Denied) << 2009 << "Error2009:device deny";
        QTest::newRow("modify timeout") << modify << true << int(OperationStatus::TimedOut) << 2011
                                        << "Error2011:time out";
        QTest::newRow("activate deny") << activate << true << int(OperationStatus::Denied) << 2009
                                       << "Error2009:Device deny.";
        QTest::newRow("activate reactive") << activate << true << int(OperationStatus::AlreadyActive) << 2021
                                           << "Error2021:reactive";
        QTest::newRow("activate timeout is others") << activate << true << int(OperationStatus::TimedOut) << 2011
                                                    << "Error2011:others";
        QTest::newRow("cancelled") << modify << true << int(OperationStatus::Cancelled) << 0 << "Cancelled";
        QTest::newRow("single deny") << modify << false << int(OperationStatus::Denied) << 2009 << "Device deny.";
        QTest::newRow("single reactive") << activate << false << int(OperationStatus::AlreadyActive) << 2021
                                         << "Error2021:others";
        QTest::newRow("single done") << activate << false << int(OperationStatus::Done) << 0 << "Activate Succeed.";
        QTest::newRow("not activated") << modify << true << int(OperationStatus::NotActivated) << 2022
                                       << "Error2022:Device not activated.";
        QTest::newRow("single not activated") << modify << false << int(OperationStatus::NotActivated) << 2022
                                              << "Device not activated.";
    }

    void resultWords()
    {
        QFETCH(int, kind);
        QFETCH(bool, batch);
        QFETCH(int, status);
        QFETCH(int, code);
        QFETCH(QString, words);
        const OperationOutcome outcome{OperationStatus(status), code};
        const LocalText text = batch ? batchResultWord(OperationKind(kind), outcome)
                                     : singleResultWord(OperationKind(kind), outcome);
        QCOMPARE(text.english(), words);
    }

    // Two kinds in one batch, answers coming back out of order: outcomes
    // stay in job order, no more than the limit run at once, and the
    // secret reaches each kind.
    void runnerKeepsOrderAndLimit()
    {
        auto first = std::make_shared<FakeKind>(QStringLiteral("AA"), 30);
        auto second = std::make_shared<FakeKind>(QStringLiteral("BB"), 30);
        first->failing = QStringList{QStringLiteral("AA3")};
        DeviceKinds::instance().add(first);
        DeviceKinds::instance().add(second);
        QStringList serials;
        for (int i = 0; i < 10; ++i)
            serials << QStringLiteral("AA%1").arg(i) << QStringLiteral("BB%1").arg(i);

        OperationRunner runner;
        runner.setMaxInFlight(4);
        QSignalSpy finished(&runner, &OperationRunner::finished);
        QSignalSpy progress(&runner, &OperationRunner::progress);
        QVERIFY(runner.start(OperationKind::SetNetParams, jobsFor(serials), QByteArrayLiteral("Admin12345")));
        QVERIFY(!runner.start(OperationKind::SetNetParams, jobsFor(serials), QByteArray())); // one run at a time
        QVERIFY(finished.wait(10000));
        const QVector<OperationOutcome> outcomes = runner.outcomes();
        QCOMPARE(outcomes.size(), serials.size());
        for (int i = 0; i < serials.size(); ++i)
            QCOMPARE(outcomes.at(i).ok(), serials.at(i) != QLatin1String("AA3"));
        QCOMPARE(outcomes.at(6).code, 2011);
        QCOMPARE(progress.size(), serials.size());
        QCOMPARE(first->calls.load() + second->calls.load(), serials.size());
        QVERIFY(first->mostAtOnce + second->mostAtOnce <= 8);
        QVERIFY(qMax(first->mostAtOnce.load(), second->mostAtOnce.load()) <= 4);
        QVERIFY(first->mostAtOnce + second->mostAtOnce >= 2); // in parallel indeed
        QCOMPARE(second->lastPassword, QByteArrayLiteral("Admin12345"));
        DeviceKinds::instance().remove(first.get());
        DeviceKinds::instance().remove(second.get());
    }

    void cancelSkipsWhatWasNotSent()
    {
        auto kind = std::make_shared<FakeKind>(QStringLiteral("CC"), 40);
        DeviceKinds::instance().add(kind);
        QStringList serials;
        for (int i = 0; i < 12; ++i)
            serials << QStringLiteral("CC%1").arg(i);
        OperationRunner runner;
        runner.setMaxInFlight(2);
        QSignalSpy finished(&runner, &OperationRunner::finished);
        runner.start(OperationKind::Activate, jobsFor(serials), QByteArrayLiteral("Abcd1234!x"));
        runner.cancel();
        QVERIFY(finished.wait(10000));
        int cancelled = 0, done = 0;
        for (const OperationOutcome &outcome : runner.outcomes()) {
            cancelled += outcome.status == OperationStatus::Cancelled ? 1 : 0;
            done += outcome.ok() ? 1 : 0;
        }
        // Those in flight finished and count; the rest were never sent.
        QCOMPARE(done, kind->calls.load());
        QCOMPARE(cancelled + done, 12);
        QVERIFY(cancelled >= 10);
        DeviceKinds::instance().remove(kind.get());
    }

    void confirmationIpv6_data()
    {
        QTest::addColumn<QString>("sent");
        QTest::addColumn<int>("sentPrefix");
        QTest::addColumn<QString>("reported");
        QTest::addColumn<int>("reportedPrefix");
        QTest::addColumn<bool>("addressInfo");
        QTest::addColumn<bool>("shows");
        QTest::newRow("same") << "fd00::5" << 64 << "fd00::5" << 64 << true << true;
        QTest::newRow("written otherwise") << "fd00:0:0::5" << 64 << "FD00::5" << 64 << true << true;
        QTest::newRow("the old address") << "fd00::5" << 64 << "fd00::4" << 64 << true << false;
        // Announced at the new address, not yet read there.
        QTest::newRow("prefix not read yet") << "fd00::5" << 64 << "fd00::5" << 0 << true << false;
        QTest::newRow("no prefix sent") << "fd00::5" << 0 << "fd00::5" << 48 << true << true;
        QTest::newRow("none sent") << "" << 0 << "fd00::4" << 64 << true << true;
        QTest::newRow("device without address information") << "fd00::5" << 64 << "" << 0 << false << true;
    }

    // The IPv6 address counts beside IPv4's: a device reached over IPv6
    // alone has empty IPv4 cells, which would show any change at once.
    void confirmationIpv6()
    {
        QFETCH(QString, sent);
        QFETCH(int, sentPrefix);
        QFETCH(QString, reported);
        QFETCH(int, reportedPrefix);
        QFETCH(bool, addressInfo);
        QFETCH(bool, shows);
        NetParams a;
        a.httpPort = 80;
        a.addressInfo = addressInfo;
        a.ipv6Address = sent;
        a.ipv6PrefixLength = sentPrefix;
        NetParams b = a;
        b.ipv6Address = reported;
        b.ipv6PrefixLength = reportedPrefix;
        QCOMPARE(ChangeConfirmer::shows(b, a), shows);
    }

    void confirmation()
    {
        NetParams sent;
        sent.ipv4Address = QStringLiteral("10.0.0.5");
        sent.ipv4Mask = QStringLiteral("255.0.0.0");
        sent.ipv4Gateway = QStringLiteral("10.0.0.1");
        sent.port = 8000;
        sent.httpPort = 80;
        NetParams reported = sent;
        reported.ipv4Address = QStringLiteral("10.0.0.005");
        QVERIFY(ChangeConfirmer::shows(reported, sent));
        reported.ipv4Gateway.clear();
        QVERIFY(!ChangeConfirmer::shows(reported, sent));
        sent.addressInfo = false; // such a device keeps no gateway
        QVERIFY(ChangeConfirmer::shows(reported, sent));

        ChangeConfirmer confirmer;
        QHash<DeviceKey, NetParams> reports{{key("A1"), reported}};
        confirmer.setReportReader([&reports](const DeviceKey &device) -> std::optional<NetParams> {
            const auto it = reports.constFind(device);
            return it == reports.cend() ? std::nullopt : std::optional<NetParams>(*it);
        });
        QSignalSpy finished(&confirmer, &ChangeConfirmer::finished);
        // No wait: one look at what the devices report now.
        confirmer.expect({key("A1"), key("B1")}, {sent, sent}, 0);
        QVERIFY(finished.wait(2000));
        QVERIFY(confirmer.applied(key("A1")));
        QVERIFY(!confirmer.applied(key("B1")));
    }

    void csv()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(writeResultCsv(buffer, {{QStringLiteral("=cmd|'/c calc'!A1"), QStringLiteral("10.0.0.1"),
                                         QStringLiteral("Succeed")},
                                        {QStringLiteral("SN,1"), QString(), QStringLiteral("say \"no\"")}}));
        QCOMPARE(buffer.data(), QByteArray("device,address,outcome\r\n"
                                           "'=cmd|'/c calc'!A1,10.0.0.1,Succeed\r\n"
                                           "\"SN,1\",,\"say \"\"no\"\"\"\r\n"));
    }
};

QTEST_MAIN(tst_OperationsCore)
#include "tst_operationscore.moc"
