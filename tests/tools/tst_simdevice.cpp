// The simulated device's rules with the clock in the test's hand: lockout
// and its end, single-use expiring nonces, idempotent repeats, expiring
// reset answers, parameter checks, and state that survives a restart.

#include "tools/devsim/simdevice.h"
#include "vosk/sealedpayload.h"
#include "vosk/vosk.h"

#include <QJsonDocument>
#include <QTest>

#include <sodium.h>

using namespace VoskNet;
using VoskSim::SimDevice;

namespace {

const QByteArray kPassword = QByteArrayLiteral("Admin12345");

SimDevice makeDevice(bool active, quint8 needCaps = 0, quint8 withoutCaps = 0)
{
    for (int i = 0; i < 200; ++i) {
        SimDevice device = SimDevice::generate(5, i, kPassword);
        const WireRecord &r = device.record();
        if (r.notActivated == !active && (r.capabilities & needCaps) == needCaps && !(r.capabilities & withoutCaps))
            return device;
    }
    qFatal("no such device in the fleet");
}

class Harness
{
public:
    explicit Harness(SimDevice device)
        : device(std::move(device))
    {
    }

    WireMessage request(Op op)
    {
        WireMessage m;
        m.type = MessageType::Request;
        m.id = WireMessage::newId();
        m.op = op;
        if (op == Op::Modify)
            m.targetMac = device.record().mac;
        else
            m.targetSerial = device.record().serialNumber;
        return m;
    }
    QByteArray nonce()
    {
        return device.handleRequest(request(Op::Challenge), now, unixNow, false, authority).response.nonce;
    }
    WireMessage sealed(Op op, SealedPayload payload, const QByteArray &withNonce = QByteArray())
    {
        WireMessage m = request(op);
        payload.id = m.id;
        payload.op = op;
        payload.targetMac = m.targetMac;
        payload.targetSerial = m.targetSerial;
        payload.nonce = withNonce.isEmpty() ? nonce() : withNonce;
        m.sealed = payload.seal(device.publicKey());
        return m;
    }
    quint32 send(const WireMessage &m) { return device.handleRequest(m, now, unixNow, false, authority).response.status; }
    WireMessage answer(const WireMessage &m) { return device.handleRequest(m, now, unixNow, false, authority).response; }
    quint32 changePassword(const QByteArray &oldPassword, const QByteArray &newPassword)
    {
        SealedPayload p;
        p.password = oldPassword;
        p.newPassword = newPassword;
        return send(sealed(Op::ChangePassword, p));
    }
    // A reset-service answer for the device's current key (exported now).
    QByteArray resetAnswer()
    {
        WireMessage exportKey = request(Op::ExportKey);
        exportKey.keyCommand = 1;
        const auto key = VoskReset::ResetAuthority::findDeviceKey(answer(exportKey).key);
        return key ? authority.makeAnswer(*key) : QByteArray();
    }
    quint32 modify(const QByteArray &password, const WireRecord &params)
    {
        SealedPayload p;
        p.password = password;
        p.hasNetParams = true;
        p.netParams = params;
        return send(sealed(Op::Modify, p));
    }
    WireRecord sameParams() const { return device.record(); }

    SimDevice device;
    VoskReset::ResetAuthority authority;
    qint64 now = 1'000'000;
    qint64 unixNow = 1'796'000'000;
};

} // namespace

class TestSimDevice final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(sodium_init() >= 0); }

    void lockoutEndsAfterItsTime()
    {
        Harness h(makeDevice(true));
        for (int i = 0; i < SimDevice::kMaxFailures; ++i)
            QCOMPARE(h.modify("Wrong#123", h.sameParams()), quint32(VOSK_ERR_DEVICE_DENY));
        SealedPayload p;
        p.password = kPassword;
        p.hasNetParams = true;
        p.netParams = h.sameParams();
        // Locked, and saying for how long, in whole seconds rounded up.
        WireMessage locked = h.answer(h.sealed(Op::Modify, p));
        QCOMPARE(locked.status, quint32(kStatusLocked));
        QCOMPARE(locked.retryAfter, quint32(60));
        h.now += SimDevice::kLockoutMs - 1500;
        locked = h.answer(h.sealed(Op::Modify, p));
        QCOMPARE(locked.status, quint32(kStatusLocked));
        QCOMPARE(locked.retryAfter, quint32(2));
        // The lockout holds for every sealed operation, and the message
        // that says so survives its encoding.
        QCOMPARE(h.changePassword(kPassword, "Other#Pass2"), quint32(kStatusLocked));
        const auto decoded = WireMessage::decode(locked.encode());
        QVERIFY(decoded.has_value());
        QCOMPARE(decoded->retryAfter, quint32(2));
        h.now += 500;
        // The challenge still gets a nonce; the sealed operation is refused,
        // and that refusal does not lengthen the lockout.
        QCOMPARE(int(h.nonce().size()), kNonceSize);
        locked = h.answer(h.sealed(Op::Modify, p));
        QCOMPARE(locked.status, quint32(kStatusLocked));
        QCOMPARE(locked.retryAfter, quint32(1));
        h.now += 2000;
        QCOMPARE(h.modify(kPassword, h.sameParams()), quint32(0));
        // Four failures and a success do not add up to a lockout.
        for (int i = 0; i < SimDevice::kMaxFailures - 1; ++i)
            QCOMPARE(h.modify("Wrong#123", h.sameParams()), quint32(VOSK_ERR_DEVICE_DENY));
        QCOMPARE(h.modify(kPassword, h.sameParams()), quint32(0));
        QCOMPARE(h.modify("Wrong#123", h.sameParams()), quint32(VOSK_ERR_DEVICE_DENY));
        QCOMPARE(h.modify(kPassword, h.sameParams()), quint32(0));
    }

    void nonceIsSingleUseAndExpires()
    {
        Harness h(makeDevice(true));
        SealedPayload p;
        p.password = kPassword;
        p.hasNetParams = true;
        p.netParams = h.sameParams();
        const QByteArray nonce = h.nonce();
        QCOMPARE(h.send(h.sealed(Op::Modify, p, nonce)), quint32(0));
        QCOMPARE(h.send(h.sealed(Op::Modify, p, nonce)), quint32(VOSK_ERR_DEVICE_DENY));
        const QByteArray late = h.nonce();
        h.now += SimDevice::kNonceLifetimeMs + 1;
        QCOMPARE(h.send(h.sealed(Op::Modify, p, late)), quint32(VOSK_ERR_DEVICE_DENY));
        QCOMPARE(h.send(h.sealed(Op::Modify, p, QByteArray(kNonceSize, 'x'))), quint32(VOSK_ERR_DEVICE_DENY));
    }

    void repeatedRequestIsAnsweredFromCache()
    {
        Harness h(makeDevice(false));
        SealedPayload p;
        p.password = "First#Pass1";
        const WireMessage activation = h.sealed(Op::Activate, p);
        const SimDevice::Outcome first = h.device.handleRequest(activation, h.now, h.unixNow, false, h.authority);
        QCOMPARE(first.response.status, quint32(0));
        QVERIFY(first.recordChanged);
        const SimDevice::Outcome repeat = h.device.handleRequest(activation, h.now + 400, h.unixNow, false,
                                                                 h.authority);
        QCOMPARE(repeat.response.status, quint32(0));
        QCOMPARE(repeat.response.id, first.response.id);
        QVERIFY(!repeat.recordChanged);
        // Another box under the used id: the first response, no action.
        WireMessage other = activation;
        SealedPayload second;
        second.id = activation.id;
        second.op = Op::Activate;
        second.targetSerial = activation.targetSerial;
        second.nonce = h.nonce();
        second.password = "Other#Pass2";
        other.sealed = second.seal(h.device.publicKey());
        const SimDevice::Outcome replaced = h.device.handleRequest(other, h.now + 800, h.unixNow, false, h.authority);
        QCOMPARE(replaced.response.id, first.response.id);
        QVERIFY(!replaced.stateChanged);
        QCOMPARE(h.send(h.sealed(Op::Activate, p)), quint32(VOSK_ERR_REACTIVE));
    }

    void passwordChangeReplacesTheOldPassword()
    {
        Harness h(makeDevice(true));
        QCOMPARE(h.changePassword(kPassword, "Changed#Pass9"), quint32(0));
        QCOMPARE(h.modify(kPassword, h.sameParams()), quint32(VOSK_ERR_DEVICE_DENY));
        QCOMPARE(h.modify("Changed#Pass9", h.sameParams()), quint32(0));
        // A missing new password is malformed: refused, and nothing changes.
        QCOMPARE(h.changePassword("Changed#Pass9", QByteArray()), quint32(VOSK_ERR_INVALID_ARG));
        QCOMPARE(h.modify("Changed#Pass9", h.sameParams()), quint32(0));
        // A wrong old password is a failure like any wrong password: four
        // wrong modifications and one wrong change lock the device.
        for (int i = 0; i < SimDevice::kMaxFailures - 1; ++i)
            QCOMPARE(h.modify("Wrong#123", h.sameParams()), quint32(VOSK_ERR_DEVICE_DENY));
        QCOMPARE(h.changePassword("Wrong#123", "Third#Pass3"), quint32(VOSK_ERR_DEVICE_DENY));
        QCOMPARE(h.changePassword("Changed#Pass9", "Third#Pass3"), quint32(kStatusLocked));
        h.now += SimDevice::kLockoutMs;
        QCOMPARE(h.changePassword("Changed#Pass9", "Third#Pass3"), quint32(0));
        // The state file keeps the new password, never the text of it.
        const QJsonObject state = h.device.saveState();
        QVERIFY(!QJsonDocument(state).toJson().contains("Third#Pass3"));
        Harness restarted(makeDevice(true));
        restarted.device.loadState(state);
        QCOMPARE(restarted.modify("Third#Pass3", restarted.sameParams()), quint32(0));
    }

    void operationsNeedAnActivatedDevice_data()
    {
        QTest::addColumn<int>("op");
        QTest::newRow("modify") << int(Op::Modify);
        QTest::newRow("reset with answer") << int(Op::ResetWithAnswer);
        QTest::newRow("restore default") << int(Op::RestoreDefault);
        QTest::newRow("change password") << int(Op::ChangePassword);
    }

    void operationsNeedAnActivatedDevice()
    {
        // Whatever the secret, a device without an administrator password
        // takes only activation: a reset or restore would activate it
        // behind the password policy. The refusals are not failures.
        QFETCH(int, op);
        Harness h(makeDevice(false, VOSK_CAP_KEY_RESET));
        const WireRecord &r = h.device.record();
        SealedPayload p;
        p.password = kPassword;
        p.newPassword = "Reset#Pass1";
        p.hasNetParams = op == int(Op::Modify);
        p.netParams = h.sameParams();
        p.answer = h.resetAnswer();
        p.securityCode = h.authority.makeSecurityCode("A:" + r.deviceDescription + "**" + r.serialNumber,
                                                      VoskReset::ResetAuthority::dayOf(h.unixNow));
        QVERIFY(!p.answer.isEmpty() && !p.securityCode.isEmpty());
        for (int i = 0; i < SimDevice::kMaxFailures + 1; ++i) {
            const SimDevice::Outcome outcome = h.device.handleRequest(h.sealed(Op(op), p), h.now, h.unixNow, false,
                                                                      h.authority);
            QCOMPARE(outcome.response.status, quint32(kStatusNotActivated));
            QVERIFY(!outcome.recordChanged && !outcome.stateChanged);
        }
        QVERIFY(h.device.record().notActivated);
        SealedPayload first;
        first.password = "First#Pass1";
        QCOMPARE(h.send(h.sealed(Op::Activate, first)), quint32(0));
    }

    void resetCamerasNeedsTheCapability()
    {
        Harness h(makeDevice(true, VOSK_CAP_KEY_RESET, VOSK_CAP_RESET_CAMERAS));
        SealedPayload p;
        p.answer = h.resetAnswer();
        p.newPassword = "Reset#Pass1";
        p.resetCameras = true;
        // Refused as malformed, before the answer is looked at: the answer
        // is not used up and nothing counts toward the lockout.
        for (int i = 0; i < SimDevice::kMaxFailures + 1; ++i)
            QCOMPARE(h.send(h.sealed(Op::ResetWithAnswer, p)), quint32(VOSK_ERR_INVALID_ARG));
        p.resetCameras = false;
        QCOMPARE(h.send(h.sealed(Op::ResetWithAnswer, p)), quint32(0));
        QCOMPARE(h.modify("Reset#Pass1", h.sameParams()), quint32(0));
    }

    void resetAnswerExpiresWithItsKey()
    {
        Harness h(makeDevice(true, VOSK_CAP_KEY_RESET));
        WireMessage exportKey = h.request(Op::ExportKey);
        exportKey.keyCommand = 1;
        const QByteArray key = h.device.handleRequest(exportKey, h.now, h.unixNow, false, h.authority).response.key;
        QVERIFY(key.startsWith("V1."));
        const auto deviceKey = VoskReset::ResetAuthority::findDeviceKey(key);
        QVERIFY(deviceKey.has_value());
        SealedPayload p;
        p.answer = h.authority.makeAnswer(*deviceKey);
        p.newPassword = "Reset#Pass1";
        h.unixNow += VoskReset::ResetAuthority::kKeyLifetimeSeconds + 1;
        QCOMPARE(h.send(h.sealed(Op::ResetWithAnswer, p)), quint32(VOSK_ERR_DEVICE_DENY));
        // An expired key is replaced by the next export.
        exportKey.id = WireMessage::newId();
        const QByteArray fresh = h.device.handleRequest(exportKey, h.now, h.unixNow, false, h.authority).response.key;
        QVERIFY(fresh != key);
        p.answer = h.authority.makeAnswer(*VoskReset::ResetAuthority::findDeviceKey(fresh));
        QCOMPARE(h.send(h.sealed(Op::ResetWithAnswer, p)), quint32(0));
        QCOMPARE(h.modify("Reset#Pass1", h.sameParams()), quint32(0));
    }

    void securityCodeWorksOnceInEverySpelling()
    {
        Harness h(makeDevice(true, 0, VOSK_CAP_KEY_RESET));
        const WireRecord &r = h.device.record();
        const qint64 today = VoskReset::ResetAuthority::dayOf(h.unixNow);
        const QByteArray code = h.authority.makeSecurityCode("A:" + r.deviceDescription + "**" + r.serialNumber, today);
        QVERIFY(!code.isEmpty());
        SealedPayload p;
        p.securityCode = code;
        QCOMPARE(h.send(h.sealed(Op::RestoreDefault, p)), quint32(0));
        // The same code written another way is still the same code.
        for (const QByteArray &respelled : {"0" + code, "+" + code, " " + code, code}) {
            p.securityCode = respelled;
            QCOMPARE(h.send(h.sealed(Op::RestoreDefault, p)), quint32(VOSK_ERR_DEVICE_DENY));
        }
    }

    void badParametersAreRefused_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QByteArray>("mask");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("dhcp");
        QTest::newRow("address out of range") << QByteArray("300.1.1.1") << QByteArray("255.255.255.0") << 8000
                                              << false;
        QTest::newRow("mask with a hole") << QByteArray("192.168.1.9") << QByteArray("255.0.255.0") << 8000 << false;
        QTest::newRow("port 0") << QByteArray("192.168.1.9") << QByteArray("255.255.255.0") << 0 << false;
        QTest::newRow("DHCP without the capability") << QByteArray("192.168.1.9") << QByteArray("255.255.255.0")
                                                     << 8000 << true;
    }

    void badParametersAreRefused()
    {
        QFETCH(QByteArray, address);
        QFETCH(QByteArray, mask);
        QFETCH(int, port);
        QFETCH(bool, dhcp);
        Harness h(makeDevice(true, 0, VOSK_CAP_DHCP));
        WireRecord params = h.sameParams();
        params.ipv4Address = address;
        params.ipv4Mask = mask;
        params.port = quint16(port);
        params.dhcpEnabled = dhcp;
        QCOMPARE(h.modify(kPassword, params), quint32(VOSK_ERR_INVALID_ARG));
        QVERIFY(h.device.record() == makeDevice(true, 0, VOSK_CAP_DHCP).record());
    }

    void addressUnderDhcp_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QByteArray>("mask");
        QTest::addColumn<quint32>("status");
        QTest::addColumn<bool>("kept");
        QTest::newRow("left empty: kept") << QByteArray() << QByteArray() << quint32(0) << true;
        QTest::newRow("given: the fallback address") << QByteArray("10.1.2.3") << QByteArray("255.0.0.0")
                                                     << quint32(0) << false;
        QTest::newRow("given and not an address") << QByteArray("10.1.2") << QByteArray()
                                                  << quint32(VOSK_ERR_INVALID_ARG) << true;
        QTest::newRow("mask with a hole") << QByteArray() << QByteArray("255.0.255.0")
                                          << quint32(VOSK_ERR_INVALID_ARG) << true;
    }

    void addressUnderDhcp()
    {
        QFETCH(QByteArray, address);
        QFETCH(QByteArray, mask);
        QFETCH(quint32, status);
        QFETCH(bool, kept);
        Harness h(makeDevice(true, VOSK_CAP_DHCP));
        const WireRecord before = h.device.record();
        WireRecord params = h.sameParams();
        params.dhcpEnabled = true;
        params.ipv4Address = address;
        params.ipv4Mask = mask;
        QCOMPARE(h.modify(kPassword, params), status);
        QCOMPARE(h.device.record().ipv4Address, kept ? before.ipv4Address : address);
        QCOMPARE(h.device.record().dhcpEnabled, status == 0);
    }

    void leftOutMeansEmptyNotKept()
    {
        // A device that reports gateways, with fixed IPv6: a modification
        // that leaves the gateway and IPv6 out clears the gateway, and the
        // IPv6 fields stay as they are (the device cannot change them).
        int index = 0;
        for (;; ++index) {
            QVERIFY(index < 200);
            const WireRecord r = SimDevice::generate(5, index, kPassword).record();
            if (!r.notActivated && r.addressInfoValid && !r.ipv4Gateway.isEmpty() && !r.ipv6Address.isEmpty()
                && !(r.capabilities & VOSK_CAP_IPV6_MODIFIABLE) && r.httpPort != 0)
                break;
        }
        Harness h(SimDevice::generate(5, index, kPassword));
        const WireRecord before = h.device.record();
        WireRecord params;
        params.ipv4Address = before.ipv4Address;
        params.ipv4Mask = before.ipv4Mask;
        params.port = before.port;
        QCOMPARE(h.modify(kPassword, params), quint32(0));
        QVERIFY(h.device.record().ipv4Gateway.isEmpty());
        QCOMPARE(h.device.record().httpPort, quint16(0));
        QCOMPARE(h.device.record().ipv6Address, before.ipv6Address);
    }

    void boxMustRepeatTheOuterTarget()
    {
        Harness h(makeDevice(true));
        SealedPayload p;
        p.password = kPassword;
        p.hasNetParams = true;
        p.netParams = h.sameParams();
        WireMessage m = h.sealed(Op::Modify, p);
        // Sealed again naming the serial number besides the MAC.
        p.id = m.id;
        p.op = Op::Modify;
        p.targetMac = m.targetMac;
        p.targetSerial = h.device.record().serialNumber;
        p.nonce = h.nonce();
        m.sealed = p.seal(h.device.publicKey());
        QCOMPARE(h.send(m), quint32(VOSK_ERR_DEVICE_DENY));
    }

    void stateSurvivesARestart()
    {
        Harness h(makeDevice(false));
        SealedPayload p;
        p.password = "First#Pass1";
        QCOMPARE(h.send(h.sealed(Op::Activate, p)), quint32(0));
        WireRecord params = h.sameParams();
        params.ipv4Address = "192.168.9.9";
        QCOMPARE(h.modify("First#Pass1", params), quint32(0));
        const QJsonObject state = h.device.saveState();
        QVERIFY(!QJsonDocument(state).toJson().contains("First#Pass1"));

        Harness restarted(makeDevice(false));
        restarted.device.loadState(state);
        QVERIFY(!restarted.device.record().notActivated);
        QCOMPARE(restarted.device.record().ipv4Address, QByteArray("192.168.9.9"));
        QCOMPARE(restarted.modify(kPassword, restarted.sameParams()), quint32(VOSK_ERR_DEVICE_DENY));
        QCOMPARE(restarted.modify("First#Pass1", restarted.sameParams()), quint32(0));
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
