// The real library against the simulator over loopback: discovery with
// every field, updates, offline, refresh, every operation and its errors,
// lockout, replay and what travels on the wire.

#include "tests/vosk/voskfixture.h"
#include "vosk/wiremessage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <thread>

using namespace VoskTest;

namespace {

constexpr quint64 kSeed = 7;
constexpr int kCount = 50;
const QByteArray kPassword = QByteArrayLiteral("Admin12345");

QByteArray field(const char *text, std::size_t width)
{
    return QByteArray(text, int(strnlen(text, width)));
}
#define FIELD(record, name) field((record).name, sizeof((record).name))

} // namespace

class TestVoskLoopback final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Devsim m_devsim;
    EventLog m_log;
    std::vector<VoskSim::SimDevice> m_fleet = fleet(kSeed, kCount);

    QString statePath() const { return m_dir.filePath(QStringLiteral("state.json")); }
    QStringList fleetArgs() const
    {
        return {QStringLiteral("--count"), QString::number(kCount), QStringLiteral("--seed"),
                QString::number(kSeed), QStringLiteral("--state"), statePath()};
    }
    const VoskNet::WireRecord &record(int index) const { return m_fleet[std::size_t(index)].record(); }

private Q_SLOTS:
    void initTestCase()
    {
        pinToLoopback(47211, "239.255.86.111");
        QVERIFY(m_dir.isValid());
        qputenv("VOSK_LOG_DIR", QFile::encodeName(m_dir.path()));
        QCOMPARE(VOSK_SetLogToFile(3, 0, 1), 1);
        QVERIFY(m_devsim.start(fleetArgs()));
        QCOMPARE(VOSK_SetDeviceFilterRule(0, 0, 0), 1);
        QCOMPARE(VOSK_Start_V30(&EventLog::callback, 1, &m_log), 1);
        QCOMPARE(VOSK_Start_V30(&EventLog::callback, 1, &m_log), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_ALREADY_STARTED));
    }

    void cleanupTestCase()
    {
        QCOMPARE(VOSK_Stop(), 1);
        QCOMPARE(VOSK_Stop(), 1);
        m_devsim.stop();
    }

    void findsEveryDeviceWithEveryField()
    {
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), kCount, 10000);
        QSet<QByteArray> macs;
        for (const VOSK_DEVICE_INFO &info : m_log.events()) {
            const QByteArray mac = FIELD(info, mac);
            macs.insert(mac);
            const int index = findDevice(m_fleet, [&](const VoskNet::WireRecord &r) { return r.mac == mac; });
            QVERIFY2(index >= 0, mac.constData());
            const VoskNet::WireRecord &r = record(index);
            QCOMPARE(info.event, int(VOSK_EVENT_ONLINE));
            QCOMPARE(FIELD(info, serialNumber), r.serialNumber);
            QCOMPARE(FIELD(info, ipv4Address), r.ipv4Address);
            QCOMPARE(FIELD(info, ipv4Mask), r.ipv4Mask);
            QCOMPARE(FIELD(info, ipv4Gateway), r.ipv4Gateway);
            QCOMPARE(quint32(info.deviceTypeCode), r.deviceTypeCode);
            QCOMPARE(info.port, int(r.port));
            QCOMPARE(info.channelCount, int(r.channelCount));
            QCOMPARE(FIELD(info, softwareVersion), r.softwareVersion);
            QCOMPARE(FIELD(info, dspVersion), r.dspVersion);
            QCOMPARE(FIELD(info, startTime), r.startTime);
            QCOMPARE(FIELD(info, deviceDescription), r.deviceDescription);
            QCOMPARE(FIELD(info, ipv6Address), r.ipv6Address);
            QCOMPARE(FIELD(info, ipv6Gateway), r.ipv6Gateway);
            QCOMPARE(info.ipv6PrefixLength, r.ipv6PrefixLength);
            QCOMPARE(info.capabilities, r.capabilities);
            QCOMPARE(info.dhcpEnabled, quint8(r.dhcpEnabled));
            QCOMPARE(info.addressInfoValid, quint8(r.addressInfoValid));
            QCOMPARE(info.httpPort, r.httpPort);
            QCOMPARE(info.notActivated, quint8(r.notActivated));
            QCOMPARE(info.newResetType, quint8(r.newResetType));
            QCOMPARE(FIELD(info, leadingText), QByteArray("VOSK1"));
        }
        QCOMPARE(macs.size(), kCount);
        // The fleet has the variety the tool must cope with.
        auto some = [&](auto pred) { return findDevice(m_fleet, pred) >= 0; };
        QVERIFY(some([](const VoskNet::WireRecord &r) { return r.notActivated; }));
        QVERIFY(some([](const VoskNet::WireRecord &r) { return r.httpPort == 0; }));
        QVERIFY(some([](const VoskNet::WireRecord &r) { return r.newResetType; }));
        QVERIFY(some([](const VoskNet::WireRecord &r) { return !(r.capabilities & VOSK_CAP_KEY_RESET); }));
        QVERIFY(some([](const VoskNet::WireRecord &r) { return r.capabilities & VOSK_CAP_RESET_CAMERAS; }));
        QVERIFY(some([](const VoskNet::WireRecord &r) { return r.capabilities & VOSK_CAP_IPV6; }));
        QVERIFY(some([](const VoskNet::WireRecord &r) { return r.capabilities & VOSK_CAP_DHCP; }));
        QVERIFY(some([](const VoskNet::WireRecord &r) {
            return r.deviceTypeCode >= 0x9D00 && r.deviceTypeCode <= 0x9FFF;
        }));
    }

    void repeatedInquiryReportsNothingNew()
    {
        m_log.clear();
        QCOMPARE(VOSK_SendInquiry(), 1);
        QTest::qWait(2200);
        QCOMPARE(m_log.events().size(), 0);
    }

    void modificationReportsUpdated()
    {
        const int index = findDevice(m_fleet, [](const VoskNet::WireRecord &r) { return !r.notActivated; });
        QVERIFY(index >= 0);
        VOSK_NET_PARAM param = netParam("192.168.200.10", "255.255.255.0", "192.168.200.1", 8100);
        QCOMPARE(VOSK_ModifyDeviceNetParam(record(index).mac.constData(), kPassword.constData(), &param), 1);
        VOSK_DEVICE_INFO updated;
        QTRY_VERIFY_WITH_TIMEOUT(m_log.latest(VOSK_EVENT_UPDATED, record(index).mac, updated), 3000);
        QCOMPARE(FIELD(updated, ipv4Address), QByteArray("192.168.200.10"));
        QCOMPARE(updated.port, 8100);
        QCOMPARE(FIELD(updated, serialNumber), record(index).serialNumber);
    }

    void operationResults_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("device");  // index into the fleet, -1: none
        QTest::addColumn<QByteArray>("argument");
        QTest::addColumn<int>("expected");  // 0: success, else the error code

        const int active = findDevice(m_fleet, [](const VoskNet::WireRecord &r) {
            return !r.notActivated && (r.capabilities & VOSK_CAP_KEY_RESET) && !r.newResetType;
        });
        const int newStyle = findDevice(m_fleet, [](const VoskNet::WireRecord &r) {
            return (r.capabilities & VOSK_CAP_KEY_RESET) && r.newResetType;
        });
        const int noKey = findDevice(m_fleet, [](const VoskNet::WireRecord &r) {
            return !(r.capabilities & VOSK_CAP_KEY_RESET);
        });
        const int inactive = findDevice(m_fleet, [](const VoskNet::WireRecord &r) { return r.notActivated; });
        QVERIFY(active >= 0 && newStyle >= 0 && noKey >= 0 && inactive >= 0);
        QTest::newRow("modify, wrong password") << "modify" << active << QByteArray("Wrong123") << 2009;
        QTest::newRow("modify, unknown MAC") << "modify" << -1 << kPassword << 2005;
        QTest::newRow("modify, not activated") << "modify" << inactive << kPassword << 2022;
        QTest::newRow("change password, not activated") << "change" << inactive << kPassword << 2022;
        QTest::newRow("restore, not activated") << "restore" << inactive << QByteArray("20000-AAAAAAAAAAAAAAAA")
                                                << 2022;
        QTest::newRow("reset, not activated") << "reset" << inactive << QByteArray("RA1.AAAAAAAAAAAAAAAAAAAA")
                                              << 2022;
        QTest::newRow("activate, active") << "activate" << active << QByteArray("Newpass123") << 2021;
        QTest::newRow("activate, inactive") << "activate" << inactive << QByteArray("First#Pass1") << 0;
        QTest::newRow("activate, again") << "activate" << inactive << QByteArray("First#Pass1") << 2021;
        QTest::newRow("key 1") << "key1" << active << QByteArray() << 0;
        QTest::newRow("key 2 of an old-style device") << "key2" << active << QByteArray() << 2009;
        QTest::newRow("key 2") << "key2" << newStyle << QByteArray() << 0;
        QTest::newRow("key 1 of a device without key reset") << "key1" << noKey << QByteArray() << 2009;
        QTest::newRow("restore, made-up code") << "restore" << noKey << QByteArray("20000-AAAAAAAAAAAAAAAA")
                                               << 2009;
        QTest::newRow("reset, made-up answer") << "reset" << active << QByteArray("RA1.AAAAAAAAAAAAAAAAAAAA")
                                               << 2009;
        // Refused as malformed before the answer is looked at.
        const int noCameras = findDevice(m_fleet, [](const VoskNet::WireRecord &r) {
            return !r.notActivated && (r.capabilities & VOSK_CAP_KEY_RESET) && !(r.capabilities & VOSK_CAP_RESET_CAMERAS);
        });
        QTest::newRow("reset with cameras, no such capability") << "reset cameras" << noCameras
                                                                << QByteArray("RA1.AAAAAAAAAAAAAAAAAAAA") << 2002;
    }

    void operationResults()
    {
        QFETCH(QString, operation);
        QFETCH(int, device);
        QFETCH(QByteArray, argument);
        QFETCH(int, expected);
        const QByteArray serial = device >= 0 ? record(device).serialNumber : QByteArray("NO-SUCH");
        const QByteArray mac = device >= 0 ? record(device).mac : QByteArray("02-00-00-00-00-00");
        int result = 0;
        unsigned char answer[VOSK_KEY_ANSWER_SIZE_V2];
        std::memset(answer, 0xAA, sizeof answer);
        if (operation == QLatin1String("modify")) {
            VOSK_NET_PARAM param = netParam("192.168.201.10", "255.255.255.0", "192.168.201.1", 8000);
            result = VOSK_ModifyDeviceNetParam(mac.constData(), argument.constData(), &param);
        } else if (operation == QLatin1String("activate")) {
            result = VOSK_ActivateDevice(serial.constData(), argument.constData());
        } else if (operation.startsWith(QLatin1String("key"))) {
            const unsigned command = operation == QLatin1String("key1") ? 1 : 2;
            result = VOSK_GetDeviceConfig(serial.constData(), command, nullptr, 0, answer,
                                          command == 1 ? VOSK_KEY_ANSWER_SIZE_V1 : VOSK_KEY_ANSWER_SIZE_V2);
            if (result == 1) {
                quint32 length = 0;
                std::memcpy(&length, answer, 4);
                QVERIFY(length > 0 && length <= (command == 1 ? 256u : 384u));
                const QByteArray key(reinterpret_cast<const char *>(answer + 4), int(length));
                QVERIFY(key.startsWith(command == 1 ? "V1." : "V2."));
                // Zero fill after the key, up to the size asked for.
                const std::size_t room = command == 1 ? VOSK_KEY_ANSWER_SIZE_V1 : VOSK_KEY_ANSWER_SIZE_V2;
                for (std::size_t i = 4 + length; i < room; ++i)
                    QCOMPARE(int(answer[i]), 0);
            }
        } else if (operation == QLatin1String("change")) {
            result = VOSK_ChangePasswd(serial.constData(), argument.constData(), "Changed#Pass9");
        } else if (operation == QLatin1String("restore")) {
            result = VOSK_ResetDefaultPasswd(serial.constData(), argument.constData());
        } else if (operation.startsWith(QLatin1String("reset"))) {
            VOSK_RESET_PASSWD_PARAM param;
            std::memset(&param, 0, sizeof param);
            param.resetCameras = operation == QLatin1String("reset cameras") ? 1 : 0;
            std::memcpy(param.keyText, argument.constData(), std::size_t(argument.size()));
            std::memcpy(param.newPassword, "Reset#Pass1", 11);
            result = VOSK_ResetPasswd(serial.constData(), &param);
        }
        if (expected == 0) {
            QCOMPARE(result, 1);
        } else {
            QCOMPARE(result, 0);
            QCOMPARE(VOSK_GetLastError(), expected);
        }
    }

    void badArgumentsAreRefusedLocally_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("modify, null MAC") << 0;
        QTest::newRow("modify, null parameters") << 1;
        QTest::newRow("activate, empty password") << 2;
        QTest::newRow("key, unknown command") << 3;
        QTest::newRow("key, buffer too small") << 4;
        QTest::newRow("reset, neither key nor file") << 5;
        QTest::newRow("reset, unreadable answer file") << 6;
        QTest::newRow("restore, null code") << 7;
        QTest::newRow("filter rule, reserved not 0") << 8;
        QTest::newRow("log, bad level") << 9;
        QTest::newRow("change password, empty new password") << 10;
        QTest::newRow("change password, null old password") << 11;
        QTest::newRow("change password, new password too long") << 12;
        QTest::newRow("reset, answer file is a FIFO") << 13;
        QTest::newRow("reset, answer file is a device") << 14;
        QTest::newRow("reset, answer file too large") << 15;
    }

    void badArgumentsAreRefusedLocally()
    {
        QFETCH(int, which);
        const QByteArray serial = record(0).serialNumber;
        unsigned char buffer[VOSK_KEY_ANSWER_SIZE_V2] = {};
        VOSK_RESET_PASSWD_PARAM reset;
        std::memset(&reset, 0, sizeof reset);
        std::memcpy(reset.newPassword, "Reset#Pass1", 11);
        int result = -1;
        switch (which) {
        case 0: {
            VOSK_NET_PARAM param = netParam("192.168.1.2", "255.255.255.0", "", 8000);
            result = VOSK_ModifyDeviceNetParam(nullptr, "x", &param);
            break;
        }
        case 1: result = VOSK_ModifyDeviceNetParam(record(0).mac.constData(), "x", nullptr); break;
        case 2: result = VOSK_ActivateDevice(serial.constData(), ""); break;
        case 3: result = VOSK_GetDeviceConfig(serial.constData(), 7, nullptr, 0, buffer, sizeof buffer); break;
        case 4: result = VOSK_GetDeviceConfig(serial.constData(), 2, nullptr, 0, buffer, 260); break;
        case 5: result = VOSK_ResetPasswd(serial.constData(), &reset); break;
        case 6:
            std::strcpy(reset.answerFilePath, "/nonexistent/answer.xml");
            result = VOSK_ResetPasswd(serial.constData(), &reset);
            break;
        case 7: result = VOSK_ResetDefaultPasswd(serial.constData(), nullptr); break;
        case 8: result = VOSK_SetDeviceFilterRule(1, 1, 0); break;
        case 9: result = VOSK_SetLogToFile(7, 0, 1); break;
        case 10: result = VOSK_ChangePasswd(serial.constData(), kPassword.constData(), ""); break;
        case 11: result = VOSK_ChangePasswd(serial.constData(), nullptr, "Changed#Pass9"); break;
        case 12: result = VOSK_ChangePasswd(serial.constData(), kPassword.constData(), QByteArray(65, 'x').constData()); break;
        case 13: {
            // Nobody writes to it: opening it the usual way would block.
            const QByteArray fifo = QFile::encodeName(m_dir.filePath(QStringLiteral("answer.fifo")));
            QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
            std::strcpy(reset.answerFilePath, fifo.constData());
            result = VOSK_ResetPasswd(serial.constData(), &reset);
            break;
        }
        case 14:
            std::strcpy(reset.answerFilePath, "/dev/zero");
            result = VOSK_ResetPasswd(serial.constData(), &reset);
            break;
        case 15: {
            QFile large(m_dir.filePath(QStringLiteral("large-answer.xml")));
            QVERIFY(large.open(QIODevice::WriteOnly));
            QVERIFY(large.write(QByteArray(1001, 'A')) == 1001);
            large.close();
            const QByteArray path = QFile::encodeName(large.fileName());
            std::strcpy(reset.answerFilePath, path.constData());
            result = VOSK_ResetPasswd(serial.constData(), &reset);
            break;
        }
        }
        QCOMPARE(result, 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_INVALID_ARG));
    }

    void lockoutAfterFiveWrongPasswords()
    {
        const int index = findDevice(m_fleet, [](const VoskNet::WireRecord &r) { return !r.notActivated; }, 2);
        QVERIFY(index >= 0);
        const QByteArray mac = record(index).mac;
        VOSK_NET_PARAM param = netParam(record(index).ipv4Address.constData(), "255.255.255.0", "", 8000);
        for (int attempt = 0; attempt < 5; ++attempt) {
            QCOMPARE(VOSK_ModifyDeviceNetParam(mac.constData(), "Wrong#123", &param), 0);
            QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_DEVICE_DENY));
        }
        QCOMPARE(VOSK_GetLockedSeconds(), 0);
        // Locked: even the right password is refused now, with words of its
        // own and the time it lasts.
        QCOMPARE(VOSK_ModifyDeviceNetParam(mac.constData(), kPassword.constData(), &param), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_LOCKED));
        QVERIFY2(VOSK_GetLockedSeconds() >= 50 && VOSK_GetLockedSeconds() <= 60,
                 QByteArray::number(VOSK_GetLockedSeconds()).constData());
        QCOMPARE(VOSK_ChangePasswd(record(index).serialNumber.constData(), kPassword.constData(), "Locked#Pass1"), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_LOCKED));
        // Per thread, like the error code...
        int otherThread = -1;
        std::thread([&] { otherThread = VOSK_GetLockedSeconds(); }).join();
        QCOMPARE(otherThread, 0);
        // ...and gone with the next failure of another kind.
        QCOMPARE(VOSK_ChangePasswd(record(index).serialNumber.constData(), kPassword.constData(), ""), 0);
        QCOMPARE(VOSK_GetLockedSeconds(), 0);
    }

    void passwordChangeEndToEnd()
    {
        const int index = findDevice(m_fleet, [](const VoskNet::WireRecord &r) { return !r.notActivated; }, 6);
        QVERIFY(index >= 0);
        const QByteArray serial = record(index).serialNumber;
        const QByteArray mac = record(index).mac;
        VOSK_NET_PARAM param = netParam(record(index).ipv4Address.constData(), "255.255.255.0", "", 8000);
        QCOMPARE(VOSK_ChangePasswd(serial.constData(), "Wrong#123", "Changed#Pass9"), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_DEVICE_DENY));
        QCOMPARE(VOSK_ChangePasswd(serial.constData(), kPassword.constData(), "Changed#Pass9"), 1);
        // The old password is refused from now on, the new one taken.
        QCOMPARE(VOSK_ModifyDeviceNetParam(mac.constData(), kPassword.constData(), &param), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_DEVICE_DENY));
        QCOMPARE(VOSK_ModifyDeviceNetParam(mac.constData(), "Changed#Pass9", &param), 1);
        QCOMPARE(VOSK_ChangePasswd(serial.constData(), kPassword.constData(), "Again#Pass3"), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_DEVICE_DENY));
        QCOMPARE(VOSK_ChangePasswd("NO-SUCH", kPassword.constData(), "Again#Pass3"), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_NO_SUCH_DEVICE));
        // By the pair, as the tool sends secrets: only that pair is found.
        QCOMPARE(VOSK_ChangePasswd_ByPair(serial.constData(), "02-00-00-00-00-00", "Changed#Pass9", "Pair#Pass4"), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_NO_SUCH_DEVICE));
        QCOMPARE(VOSK_ChangePasswd_ByPair(serial.constData(), mac.constData(), "Changed#Pass9", "Pair#Pass4"), 1);
        QCOMPARE(VOSK_ModifyDeviceNetParam(mac.constData(), "Pair#Pass4", &param), 1);
    }

    void secretsNeverTravelInClearAndReplayIsRefused()
    {
        VoskNet::NetConfig config = VoskNet::NetConfig::fromEnvironment();
        VoskNet::MulticastSocket capture;
        QVERIFY(capture.open(config));
        for (const VoskNet::NetInterface &iface : config.usableInterfaces())
            QVERIFY(capture.join(iface));

        const int index = findDevice(m_fleet, [](const VoskNet::WireRecord &r) { return r.notActivated; }, 1);
        QVERIFY(index >= 0);
        const QByteArray password = QByteArrayLiteral("Pw!Capture#77");
        QCOMPARE(VOSK_ActivateDevice(record(index).serialNumber.constData(), password.constData()), 1);
        const int other = findDevice(m_fleet, [](const VoskNet::WireRecord &r) { return !r.notActivated; }, 3);
        VOSK_NET_PARAM param = netParam("192.168.202.10", "255.255.255.0", "192.168.202.1", 8000);
        QCOMPARE(VOSK_ModifyDeviceNetParam(record(other).mac.constData(), kPassword.constData(), &param), 1);
        const QByteArray changed = QByteArrayLiteral("Pw!Changed#88");
        QCOMPARE(VOSK_ChangePasswd(record(index).serialNumber.constData(), password.constData(), changed.constData()), 1);
        QTest::qWait(200);

        QList<QByteArray> datagrams;
        VoskNet::MulticastSocket::Datagram datagram;
        while (capture.receive(datagram))
            datagrams.append(datagram.data);
        QVERIFY(datagrams.size() >= 4);
        std::optional<VoskNet::WireMessage> sealedModify;
        for (const QByteArray &bytes : std::as_const(datagrams)) {
            QVERIFY(!bytes.contains(password));
            QVERIFY(!bytes.contains(kPassword));
            QVERIFY(!bytes.contains(changed));
            const auto message = VoskNet::WireMessage::decode(bytes);
            if (message && message->type == VoskNet::MessageType::Request && message->op == VoskNet::Op::Modify)
                sealedModify = message;
        }
        QVERIFY(sealedModify.has_value());

        // The captured request under a new id: the nonce is spent and the
        // box names the old id, so the device refuses.
        VoskNet::WireMessage replay = *sealedModify;
        replay.id = VoskNet::WireMessage::newId();
        QVERIFY(capture.send(datagram.interfaceIndex, replay.encode()));
        std::optional<quint32> status;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     while (capture.receive(datagram)) {
                                         const auto m = VoskNet::WireMessage::decode(datagram.data);
                                         if (m && m->type == VoskNet::MessageType::Response && m->re == replay.id)
                                             status = m->status;
                                     }
                                     return status.has_value();
                                 }()),
                                 3000);
        QCOMPARE(*status, quint32(VOSK_ERR_DEVICE_DENY));
    }

    void clearupAndInquiryBringEveryDeviceBack()
    {
        m_log.clear();
        QCOMPARE(VOSK_Clearup(), 1);
        QCOMPARE(VOSK_SendInquiry(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), kCount, 10000);
        QCOMPARE(m_log.count(VOSK_EVENT_OFFLINE), 0);
    }

    void byeGivesOfflineAndOperationsTimeOut()
    {
        m_log.clear();
        QVERIFY(m_devsim.stop());
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_OFFLINE), kCount, 5000);
        QCOMPARE(VOSK_ActivateDevice(record(0).serialNumber.constData(), "Whatever#1"), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_TIMEOUT));
    }

    void stateSurvivesRestart()
    {
        m_log.clear();
        QVERIFY(m_devsim.start(fleetArgs()));
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), kCount, 10000);
        const int modified = findDevice(m_fleet, [](const VoskNet::WireRecord &r) { return !r.notActivated; });
        VOSK_DEVICE_INFO info;
        QVERIFY(m_log.latest(VOSK_EVENT_ONLINE, record(modified).mac, info));
        QCOMPARE(FIELD(info, ipv4Address), QByteArray("192.168.200.10"));
        const int activated = findDevice(m_fleet, [](const VoskNet::WireRecord &r) { return r.notActivated; });
        QVERIFY(m_log.latest(VOSK_EVENT_ONLINE, record(activated).mac, info));
        QCOMPARE(info.notActivated, quint8(0));
        // The activation password of before the restart still holds.
        VOSK_NET_PARAM param = netParam("192.168.203.10", "255.255.255.0", "", 8000);
        QCOMPARE(VOSK_ModifyDeviceNetParam(record(activated).mac.constData(), "First#Pass1", &param), 1);
    }

    void logHoldsNoSecret()
    {
        QFile log(m_dir.filePath(QStringLiteral("vosk.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        QVERIFY(text.contains("modify"));
        for (const char *secret : {"Admin12345", "First#Pass1", "Pw!Capture#77", "Wrong#123", "Newpass123",
                                   "Changed#Pass9", "Locked#Pass1", "Pw!Changed#88", "Pair#Pass4"})
            QVERIFY2(!text.contains(secret), secret);
    }

    void stopEndsCallbacks()
    {
        QCOMPARE(VOSK_Stop(), 1);
        m_log.clear();
        QCOMPARE(VOSK_SendInquiry(), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_NOT_STARTED));
        QCOMPARE(VOSK_ActivateDevice(record(0).serialNumber.constData(), "Whatever#1"), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_NOT_STARTED));
        QTest::qWait(300);
        QCOMPARE(m_log.events().size(), 0);
        // Started again, every device is new to it.
        QCOMPARE(VOSK_Start_V30(&EventLog::callback, 1, &m_log), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), kCount, 10000);
    }
};

QTEST_GUILESS_MAIN(TestVoskLoopback)
#include "tst_voskloopback.moc"
