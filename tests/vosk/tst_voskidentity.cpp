// Two devices with one identity half: two simulators whose devices announce
// the same MAC with different serial numbers (seeds 256 apart), then two
// whose devices announce the same serial number with different MACs. The
// library lists both, refuses every call that names only the shared half,
// and a call by the pair reaches the chosen device alone: the request names
// both halves, only that device answers it, and its sealed box opens with
// that device's key and not with the other's.

#include "tests/vosk/voskfixture.h"
#include "vosk/sealedpayload.h"
#include "vosk/wiremessage.h"

#include <QTest>

#include <sodium.h>

using namespace VoskTest;
using VoskNet::MessageType;
using VoskNet::Op;
using VoskNet::WireMessage;

namespace {

constexpr char kPassword[] = "Admin12345";

struct SimKeys
{
    QByteArray publicKey;
    QByteArray secretKey;
};

// The simulator's key pair of device (seed, index), made as it makes it.
SimKeys simKeys(quint64 seed, int index)
{
    unsigned char keySeed[crypto_box_SEEDBYTES];
    const QByteArray material = "vosk-devsim-key:" + QByteArray::number(seed) + ':' + QByteArray::number(index);
    crypto_generichash(keySeed, sizeof keySeed, reinterpret_cast<const unsigned char *>(material.constData()),
                       quint64(material.size()), nullptr, 0);
    SimKeys keys;
    keys.publicKey.resize(crypto_box_PUBLICKEYBYTES);
    keys.secretKey.resize(crypto_box_SECRETKEYBYTES);
    crypto_box_seed_keypair(reinterpret_cast<unsigned char *>(keys.publicKey.data()),
                            reinterpret_cast<unsigned char *>(keys.secretKey.data()), keySeed);
    return keys;
}

VoskSim::SimDevice device0(quint64 seed)
{
    return fleet(seed, 1).front();
}

} // namespace

class TestVoskIdentity final : public QObject
{
    Q_OBJECT

private:
    EventLog m_log;
    VoskNet::MulticastSocket m_capture;
    QList<WireMessage> m_requests;
    QList<WireMessage> m_responses;
    Devsim m_first;
    Devsim m_second;
    quint64 m_seedA = 0; // shared MAC: m_seedA and m_seedA + 256
    quint64 m_seedC = 0; // shared serial number: m_seedC and m_seedC + 1000

    void capture()
    {
        VoskNet::MulticastSocket::Datagram datagram;
        while (m_capture.receive(datagram)) {
            const auto message = WireMessage::decode(datagram.data);
            if (message && message->type == MessageType::Request)
                m_requests.append(*message);
            else if (message && message->type == MessageType::Response)
                m_responses.append(*message);
        }
    }
    int responsesTo(const QByteArray &id)
    {
        int n = 0;
        for (const WireMessage &response : std::as_const(m_responses))
            n += response.re == id ? 1 : 0;
        return n;
    }
    int onlineWithSerial(const QByteArray &serial) const
    {
        int n = 0;
        for (const VOSK_DEVICE_INFO &info : m_log.events())
            n += info.event == VOSK_EVENT_ONLINE && serial == info.serialNumber ? 1 : 0;
        return n;
    }
    bool startPair(quint64 first, quint64 second)
    {
        return m_first.start({QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--seed"),
                              QString::number(first)})
            && m_second.start({QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--seed"),
                               QString::number(second)});
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(sodium_init() >= 0);
        pinToLoopback(47241, "239.255.86.141");
        const VoskNet::NetConfig config = VoskNet::NetConfig::fromEnvironment();
        const QList<VoskNet::NetInterface> interfaces = config.usableInterfaces();
        QVERIFY(m_capture.open(config) && !interfaces.isEmpty() && m_capture.join(interfaces.first()));
        // Seeds 256 apart give one MAC to device 0 of both fleets; both
        // should be active, so that a modification can reach either.
        for (quint64 seed = 1; seed < 200 && !m_seedA; ++seed) {
            if (!device0(seed).record().notActivated && !device0(seed + 256).record().notActivated)
                m_seedA = seed;
        }
        // Seeds 1000 apart share the serial number's digits; its prefix
        // follows the seed, so look for a pair where it agrees as well.
        for (quint64 seed = 1; seed < 200 && !m_seedC; ++seed) {
            if (device0(seed).record().serialNumber == device0(seed + 1000).record().serialNumber)
                m_seedC = seed;
        }
        QVERIFY(m_seedA && m_seedC);
        QCOMPARE(device0(m_seedA).record().mac, device0(m_seedA + 256).record().mac);
        QVERIFY(device0(m_seedC).record().mac != device0(m_seedC + 1000).record().mac);
        QCOMPARE(VOSK_Start_V30(&EventLog::callback, 1, &m_log), 1);
    }

    void cleanupTestCase()
    {
        VOSK_Stop();
        m_first.stop();
        m_second.stop();
    }

    void sharedMacListsBothAndRefusesTheMacAlone()
    {
        const VoskSim::SimDevice a = device0(m_seedA);
        const VoskSim::SimDevice b = device0(m_seedA + 256);
        QVERIFY(startPair(m_seedA, m_seedA + 256));
        // Two online reports: one entry per (MAC, serial number).
        QTRY_VERIFY_WITH_TIMEOUT(onlineWithSerial(a.record().serialNumber) == 1
                                     && onlineWithSerial(b.record().serialNumber) == 1,
                                 10000);

        capture();
        m_requests.clear();
        VOSK_NET_PARAM param = netParam("192.168.77.10", "255.255.255.0", "192.168.77.1", 8000);
        QCOMPARE(VOSK_ModifyDeviceNetParam(a.record().mac.constData(), kPassword, &param), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_AMBIGUOUS_DEVICE));
        // Refused before anything went out.
        QTest::qWait(200);
        capture();
        QCOMPARE(m_requests.size(), 0);
    }

    void pairReachesTheChosenDeviceAlone()
    {
        const VoskSim::SimDevice a = device0(m_seedA);
        const VoskSim::SimDevice b = device0(m_seedA + 256);
        const SimKeys keysA = simKeys(m_seedA, 0);
        const SimKeys keysB = simKeys(m_seedA + 256, 0);
        QCOMPARE(keysB.publicKey, b.publicKey());
        capture();
        m_requests.clear();
        m_responses.clear();
        m_log.clear();

        VOSK_NET_PARAM param = netParam("192.168.77.20", "255.255.255.0", "192.168.77.1", 8000);
        QCOMPARE(VOSK_ModifyDeviceNetParam_ByPair(b.record().serialNumber.constData(), b.record().mac.constData(),
                                                  kPassword, &param),
                 1);
        QTRY_VERIFY_WITH_TIMEOUT((capture(), m_requests.size() >= 2 && !m_responses.isEmpty()), 5000);
        QTest::qWait(300);
        capture();
        int modifies = 0;
        for (const WireMessage &request : std::as_const(m_requests)) {
            // Challenge and modification both name both halves...
            QCOMPARE(request.targetSerial, b.record().serialNumber);
            QCOMPARE(request.targetMac, b.record().mac);
            // ...so that one device answers each.
            QCOMPARE(responsesTo(request.id), 1);
            if (request.op != Op::Modify)
                continue;
            ++modifies;
            // Sealed to the chosen device's key; the other cannot open it.
            const auto opened = VoskNet::SealedPayload::open(request.sealed, keysB.publicKey, keysB.secretKey);
            QVERIFY(opened);
            QCOMPARE(opened->password, QByteArray(kPassword));
            QVERIFY(!VoskNet::SealedPayload::open(request.sealed, keysA.publicKey, keysA.secretKey));
        }
        QCOMPARE(modifies, 1);
        // The chosen device took the address; the other kept its own.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const VOSK_DEVICE_INFO &info : m_log.events()) {
                    if (info.event == VOSK_EVENT_UPDATED && b.record().serialNumber == info.serialNumber)
                        return QByteArray(info.ipv4Address) == "192.168.77.20";
                }
                return false;
            }(),
            5000);
        for (const VOSK_DEVICE_INFO &info : m_log.events())
            QVERIFY(a.record().serialNumber != info.serialNumber);
    }

    void aDeviceThatLeftNoLongerSharesTheMac()
    {
        const VoskSim::SimDevice a = device0(m_seedA);
        // The other one says bye: its entry stays for a while, but it no
        // longer stands in the way of the MAC alone.
        QVERIFY(m_second.stop());
        QTRY_VERIFY_WITH_TIMEOUT(m_log.count(VOSK_EVENT_OFFLINE) == 1, 5000);
        VOSK_NET_PARAM param = netParam("192.168.77.30", "255.255.255.0", "192.168.77.1", 8000);
        QCOMPARE(VOSK_ModifyDeviceNetParam(a.record().mac.constData(), kPassword, &param), 1);
        QVERIFY(m_first.stop());
    }

    void sharedSerialListsBoth()
    {
        m_first.stop();
        m_second.stop();
        QVERIFY(startPair(m_seedC, m_seedC + 1000));
        QTRY_COMPARE_WITH_TIMEOUT(onlineWithSerial(device0(m_seedC).record().serialNumber), 2, 10000);
    }

    void sharedSerialRefusesTheSerialAlone_data()
    {
        QTest::addColumn<QString>("call");
        QTest::newRow("activate") << QStringLiteral("activate");
        QTest::newRow("key export") << QStringLiteral("export");
        QTest::newRow("reset with answer") << QStringLiteral("reset");
        QTest::newRow("restore default") << QStringLiteral("restore");
    }

    void sharedSerialRefusesTheSerialAlone()
    {
        QFETCH(QString, call);
        const QByteArray serial = device0(m_seedC).record().serialNumber;
        VOSK_KEY_ANSWER answer;
        VOSK_RESET_PASSWD_PARAM reset;
        std::memset(&reset, 0, sizeof reset);
        std::memcpy(reset.keyText, "RA1.x", 5);
        std::memcpy(reset.newPassword, "New#Pass123", 11);
        int result = -1;
        if (call == QLatin1String("activate"))
            result = VOSK_ActivateDevice(serial.constData(), kPassword);
        else if (call == QLatin1String("export"))
            result = VOSK_GetDeviceConfig(serial.constData(), VOSK_CMD_EXPORT_KEY, nullptr, 0, &answer,
                                          VOSK_KEY_ANSWER_SIZE_V1);
        else if (call == QLatin1String("reset"))
            result = VOSK_ResetPasswd(serial.constData(), &reset);
        else
            result = VOSK_ResetDefaultPasswd(serial.constData(), "1-ABCDEF");
        QCOMPARE(result, 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_AMBIGUOUS_DEVICE));
    }

    void sharedSerialByPairReachesOne()
    {
        const VoskSim::SimDevice d = device0(m_seedC + 1000);
        const QByteArray serial = d.record().serialNumber;
        // A wrong code is that one device's refusal, not a time-out of a
        // request that no device (or two) took as its own.
        QCOMPARE(VOSK_ResetDefaultPasswd_ByPair(serial.constData(), d.record().mac.constData(), "1-ABCDEF"), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_DEVICE_DENY));
        QCOMPARE(VOSK_ResetDefaultPasswd_ByPair(serial.constData(), "02-00-00-00-00-00", "1-ABCDEF"), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_NO_SUCH_DEVICE));
    }
};

QTEST_GUILESS_MAIN(TestVoskIdentity)
#include "tst_voskidentity.moc"
