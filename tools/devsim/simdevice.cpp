#include "tools/devsim/simdevice.h"

#include "vosk/recordtext.h"
#include "vosk/sealedpayload.h"
#include "vosk/vosk.h"

#include <QJsonArray>

#include <arpa/inet.h>
#include <cstdarg>
#include <cstdio>
#include <random>
#include <sodium.h>

using VoskNet::Op;
using VoskNet::WireMessage;
using VoskNet::WireRecord;

namespace VoskSim {

namespace {

constexpr std::size_t kResponseCache = 64;
constexpr qint64 kResponseCacheMs = 60000;
constexpr std::size_t kMaxNonces = 16;

struct Model
{
    const char *description;
    qint32 typeCode;
    int channels;
    bool recorder;
};

// Our own fictitious product line; a few codes in 0x9D00..0x9FFF, one
// family without a type code.
constexpr Model kModels[] = {
    {"VC-2120A", 0x9D01, 1, false}, {"VC-3340F", 0x9D22, 1, false}, {"VC-7720Z", 0x9E40, 1, false},
    {"VR-5108N", 0x9F10, 8, true},  {"VR-5216N", 0x9F11, 16, true}, {"VE-0104", 0x3120, 4, false},
    {"VC-1100L", 0x2402, 1, false}, {"VB-0001", 0, 1, false},
};

QByteArray format(const char *pattern, ...) __attribute__((format(printf, 1, 2)));
QByteArray format(const char *pattern, ...)
{
    char buffer[128];
    va_list args;
    va_start(args, pattern);
    const int n = std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return QByteArray(buffer, std::clamp(n, 0, int(sizeof buffer) - 1));
}

QByteArray hexOf(const QByteArray &bytes)
{
    return bytes.toHex();
}

QByteArray bytesFrom(const QJsonValue &value)
{
    return QByteArray::fromHex(value.toString().toLatin1());
}

bool validIpv4(const QByteArray &text)
{
    in_addr addr{};
    return inet_pton(AF_INET, text.constData(), &addr) == 1;
}

bool validMask(const QByteArray &text)
{
    in_addr addr{};
    if (inet_pton(AF_INET, text.constData(), &addr) != 1)
        return false;
    const quint32 mask = ntohl(addr.s_addr);
    return mask != 0 && ((~mask) & (~mask + 1)) == 0;  // contiguous ones
}

bool validIpv6(const QByteArray &text)
{
    in6_addr addr{};
    return inet_pton(AF_INET6, text.constData(), &addr) == 1;
}

} // namespace

SimDevice SimDevice::generate(quint64 seed, int index, const QByteArray &activePassword)
{
    // Everything that identifies a device follows from (seed, index).
    std::mt19937_64 rng(seed * 0x9E3779B97F4A7C15ull + quint64(index) * 0xBF58476D1CE4E5B9ull + 1);
    auto pick = [&](int n) { return int(rng() % quint64(n)); };
    const Model &model = kModels[pick(int(std::size(kModels)))];

    SimDevice d;
    WireRecord &r = d.m_record;
    const quint32 serialNumber = quint32((seed % 1000) * 100000 + quint64(index));
    if (index % 37 == 5)
        r.serialNumber = QByteArray("VS/") + QByteArray::number(serialNumber).rightJustified(9, '0');
    else if (pick(2) == 0)
        r.serialNumber = QByteArray(model.description) + QByteArray::number(serialNumber).rightJustified(9, '0');
    else
        r.serialNumber = "VS" + QByteArray::number(serialNumber).rightJustified(10, '0');
    r.mac = format("02-5e-%02x-%02x-%02x-%02x", unsigned(seed & 0xff), unsigned((index >> 16) & 0xff),
                                 unsigned((index >> 8) & 0xff), unsigned(index & 0xff));
    if (pick(10) == 0) {
        r.ipv4Address = format("10.%d.%d.%d", 20 + pick(10), (index >> 8) & 0xff, 2 + index % 250);
        r.ipv4Mask = "255.0.0.0";
        r.ipv4Gateway = "10.0.0.1";
    } else {
        r.ipv4Address = format("192.168.%d.%d", 1 + index / 250, 2 + index % 250);
        r.ipv4Mask = "255.255.255.0";
        r.ipv4Gateway = format("192.168.%d.1", 1 + index / 250);
    }
    r.deviceTypeCode = quint32(model.typeCode);
    const int ports[] = {8000, 8000, 8000, 8200, 9000};
    r.port = quint16(ports[pick(5)]);
    r.channelCount = quint16(model.channels);
    r.softwareVersion = format("V5.%d.%d build 26%02d%02d", 3 + pick(3), pick(10), 1 + pick(11),
                                             1 + pick(28));
    r.dspVersion = format("V7.%d build 26%02d%02d", pick(4), 1 + pick(11), 1 + pick(28));
    r.startTime = format("2026-12-0%d %02d:%02d:%02d", 1 + pick(6), pick(24), pick(60), pick(60));
    r.deviceDescription = model.description;
    if (pick(3) == 0)
        r.capabilities |= VOSK_CAP_IPV6 | (pick(2) ? VOSK_CAP_IPV6_MODIFIABLE : 0);
    if (pick(2) == 0)
        r.capabilities |= VOSK_CAP_DHCP;
    if (pick(3) != 0) {
        r.capabilities |= VOSK_CAP_KEY_RESET;
        if (model.recorder)
            r.capabilities |= VOSK_CAP_RESET_CAMERAS;
        r.newResetType = pick(2) == 0;
    }
    r.dhcpEnabled = (r.capabilities & VOSK_CAP_DHCP) && pick(3) == 0;
    r.addressInfoValid = pick(12) != 0;
    if (!r.addressInfoValid)
        r.ipv4Gateway.clear();
    if (r.addressInfoValid && (r.capabilities & VOSK_CAP_IPV6)) {
        r.ipv6Address = format("fe80::5e:%x:%x", unsigned(seed & 0xffff), unsigned(index));
        r.ipv6Gateway = "fe80::1";
        r.ipv6PrefixLength = 64;
    }
    const int httpPorts[] = {80, 80, 80, 8080, 0};
    r.httpPort = quint16(httpPorts[pick(5)]);
    r.notActivated = pick(5) == 0;

    // Deterministic key pair: the same fleet has the same keys.
    unsigned char keySeed[crypto_box_SEEDBYTES];
    const QByteArray material = "vosk-devsim-key:" + QByteArray::number(seed) + ':' + QByteArray::number(index);
    crypto_generichash(keySeed, sizeof keySeed, reinterpret_cast<const unsigned char *>(material.constData()),
                       quint64(material.size()), nullptr, 0);
    d.m_publicKey.resize(crypto_box_PUBLICKEYBYTES);
    d.m_secretKey.resize(crypto_box_SECRETKEYBYTES);
    crypto_box_seed_keypair(reinterpret_cast<unsigned char *>(d.m_publicKey.data()),
                            reinterpret_cast<unsigned char *>(d.m_secretKey.data()), keySeed);
    d.m_boot.resize(VoskNet::kBootSize);
    randombytes_buf(d.m_boot.data(), std::size_t(d.m_boot.size()));
    if (!r.notActivated)
        d.setPassword(activePassword);
    d.m_inquiryBucket.tokens = 5;
    d.m_requestBucket.tokens = 20;
    return d;
}

void SimDevice::setActivated(bool activated, const QByteArray &password)
{
    if (activated == !m_record.notActivated)
        return;
    m_record.notActivated = !activated;
    if (activated) {
        setPassword(password);
    } else {
        m_salt.clear();
        m_passwordHash.clear();
    }
}

WireMessage SimDevice::report(VoskNet::ReportEvent event, const QByteArray &answers)
{
    WireMessage m;
    m.type = VoskNet::MessageType::Report;
    m.id = WireMessage::newId();
    m.re = answers;
    m.event = event;
    m.boot = m_boot;
    m.seq = ++m_seq;
    m.publicKey = m_publicKey;
    m.record = m_record;
    return m;
}

bool SimDevice::take(Bucket &bucket, double rate, double burst, qint64 nowMs)
{
    if (bucket.last == 0)
        bucket.last = nowMs;
    bucket.tokens = std::min(burst, bucket.tokens + double(nowMs - bucket.last) * rate / 1000.0);
    bucket.last = nowMs;
    if (bucket.tokens < 1.0)
        return false;
    bucket.tokens -= 1.0;
    return true;
}

bool SimDevice::allowInquiry(qint64 nowMs)
{
    return take(m_inquiryBucket, 5, 5, nowMs);
}

bool SimDevice::allowRequest(qint64 nowMs)
{
    return take(m_requestBucket, 20, 20, nowMs);
}

void SimDevice::setPassword(const QByteArray &password)
{
    m_salt.resize(crypto_pwhash_SALTBYTES);
    randombytes_buf(m_salt.data(), std::size_t(m_salt.size()));
    m_passwordHash.resize(32);
    // The minimum cost keeps a fleet of a thousand quick to start; a real
    // device would use the interactive limits.
    if (crypto_pwhash(reinterpret_cast<unsigned char *>(m_passwordHash.data()), 32, password.constData(),
                      quint64(password.size()), reinterpret_cast<const unsigned char *>(m_salt.constData()),
                      crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN, crypto_pwhash_ALG_ARGON2ID13)
        != 0)
        m_passwordHash.clear();
}

bool SimDevice::checkPassword(const QByteArray &password) const
{
    if (m_passwordHash.size() != 32 || m_salt.size() != crypto_pwhash_SALTBYTES)
        return false;
    unsigned char hash[32];
    if (crypto_pwhash(hash, sizeof hash, password.constData(), quint64(password.size()),
                      reinterpret_cast<const unsigned char *>(m_salt.constData()), crypto_pwhash_OPSLIMIT_MIN,
                      crypto_pwhash_MEMLIMIT_MIN, crypto_pwhash_ALG_ARGON2ID13)
        != 0)
        return false;
    return sodium_memcmp(hash, m_passwordHash.constData(), sizeof hash) == 0;
}

void SimDevice::countFailure(qint64 nowMs)
{
    if (++m_failures >= kMaxFailures) {
        m_failures = 0;
        m_lockedUntil = nowMs + kLockoutMs;
    }
}

SimDevice::Outcome SimDevice::handleRequest(const WireMessage &request, qint64 nowMs, qint64 unixSeconds,
                                            bool refuse, const VoskReset::ResetAuthority &authority)
{
    while (!m_responses.empty() && m_responses.front().time + kResponseCacheMs < nowMs)
        m_responses.pop_front();
    for (const CachedResponse &cached : m_responses) {
        if (cached.id == request.id) {
            Outcome repeat;
            repeat.response = cached.response;
            return repeat;
        }
    }
    Outcome outcome;
    WireMessage &response = outcome.response;
    response.type = VoskNet::MessageType::Response;
    response.id = WireMessage::newId();
    response.re = request.id;
    response.status = refuse ? quint32(VoskNet::kStatusDenied) : operate(request, nowMs, unixSeconds, authority, outcome);
    if (response.status != VoskNet::kStatusDone) {
        response.nonce.clear();
        response.key.clear();
    }
    m_responses.push_back({request.id, response, nowMs});
    if (m_responses.size() > kResponseCache)
        m_responses.pop_front();
    return outcome;
}

quint32 SimDevice::operate(const WireMessage &request, qint64 nowMs, qint64 unixSeconds,
                           const VoskReset::ResetAuthority &authority, Outcome &outcome)
{
    using namespace VoskNet;
    while (!m_nonces.empty() && m_nonces.front().second < nowMs)
        m_nonces.pop_front();

    switch (request.op) {
    case Op::Challenge: {
        QByteArray nonce(kNonceSize, Qt::Uninitialized);
        randombytes_buf(nonce.data(), std::size_t(nonce.size()));
        m_nonces.emplace_back(nonce, nowMs + kNonceLifetimeMs);
        if (m_nonces.size() > kMaxNonces)
            m_nonces.pop_front();
        outcome.response.nonce = nonce;
        return kStatusDone;
    }
    case Op::ExportKey: {
        if (!(m_record.capabilities & VOSK_CAP_KEY_RESET) || (request.keyCommand == 2 && !m_record.newResetType)
            || request.keyCommand == 0)
            return kStatusDenied;
        if (m_resetKeyId.isEmpty() || m_resetKeyIssued + VoskReset::ResetAuthority::kKeyLifetimeSeconds <= unixSeconds) {
            m_resetKeyId.resize(16);
            randombytes_buf(m_resetKeyId.data(), 16);
            m_resetKeyIssued = unixSeconds;
            outcome.stateChanged = true;
        }
        VoskReset::ResetAuthority::DeviceKey key;
        key.style = request.keyCommand;
        key.serial = m_record.serialNumber;
        key.mac = m_record.mac;
        key.keyId = m_resetKeyId;
        key.issued = m_resetKeyIssued;
        outcome.response.key = VoskReset::ResetAuthority::encodeDeviceKey(key);
        return kStatusDone;
    }
    default:
        break;
    }

    std::optional<SealedPayload> payload = SealedPayload::open(request.sealed, m_publicKey, m_secretKey);
    if (!payload)
        return kStatusDenied;
    struct Wiper
    {
        SealedPayload &p;
        ~Wiper() { p.wipe(); }
    } wiper{*payload};
    // The box binds what the outer message says: a replay with another id,
    // operation or target does not open as valid.
    if (payload->id != request.id || payload->op != request.op || payload->targetSerial != request.targetSerial
        || payload->targetMac != request.targetMac)
        return kStatusDenied;
    bool nonceValid = false;
    for (auto it = m_nonces.begin(); it != m_nonces.end(); ++it) {
        if (it->first.size() == payload->nonce.size()
            && sodium_memcmp(it->first.constData(), payload->nonce.constData(), std::size_t(it->first.size())) == 0) {
            m_nonces.erase(it);
            nonceValid = true;
            break;
        }
    }
    if (!nonceValid)
        return kStatusDenied;
    if (nowMs < m_lockedUntil) {
        // Whole seconds, rounded up: "try again in 0 s" would be refused.
        outcome.response.retryAfter = quint32((m_lockedUntil - nowMs + 999) / 1000);
        return kStatusLocked;
    }
    // Only activation is for a device without an administrator password:
    // a reset or restore would activate it behind the password policy (the
    // restored default is five digits), and the rest need the password.
    if (m_record.notActivated && request.op != Op::Activate)
        return kStatusNotActivated;

    switch (request.op) {
    case Op::Modify: {
        if (!checkPassword(payload->password)) {
            countFailure(nowMs);
            return kStatusDenied;
        }
        m_failures = 0;
        const WireRecord &p = payload->netParams;
        if (!payload->hasNetParams)
            return kStatusBadParam;
        if (p.dhcpEnabled && !(m_record.capabilities & VOSK_CAP_DHCP))
            return kStatusBadParam;
        if (!p.dhcpEnabled && (!validIpv4(p.ipv4Address) || !validMask(p.ipv4Mask)))
            return kStatusBadParam;
        // With DHCP on they may be left empty (the old ones stay), but one
        // that is given becomes the address the device falls back to, so it
        // must parse as well.
        if (p.dhcpEnabled && ((!p.ipv4Address.isEmpty() && !validIpv4(p.ipv4Address))
                              || (!p.ipv4Mask.isEmpty() && !validMask(p.ipv4Mask))))
            return kStatusBadParam;
        if (!p.ipv4Gateway.isEmpty() && !validIpv4(p.ipv4Gateway))
            return kStatusBadParam;
        if (p.port == 0)
            return kStatusBadParam;
        const bool ipv6 = m_record.capabilities & VOSK_CAP_IPV6_MODIFIABLE;
        if (ipv6 && ((!p.ipv6Address.isEmpty() && !validIpv6(p.ipv6Address))
                     || (!p.ipv6Gateway.isEmpty() && !validIpv6(p.ipv6Gateway))))
            return kStatusBadParam;
        const WireRecord before = m_record;
        if (!p.ipv4Address.isEmpty())
            m_record.ipv4Address = p.ipv4Address;
        if (!p.ipv4Mask.isEmpty())
            m_record.ipv4Mask = p.ipv4Mask;
        if (m_record.addressInfoValid)
            m_record.ipv4Gateway = p.ipv4Gateway;
        m_record.port = p.port;
        m_record.httpPort = p.httpPort;
        m_record.dhcpEnabled = p.dhcpEnabled;
        if (ipv6 && m_record.addressInfoValid) {
            m_record.ipv6Address = p.ipv6Address;
            m_record.ipv6Gateway = p.ipv6Gateway;
            m_record.ipv6PrefixLength = p.ipv6PrefixLength;
        }
        outcome.recordChanged = m_record != before;
        outcome.stateChanged = true;
        return kStatusDone;
    }
    case Op::Activate:
        if (!m_record.notActivated)
            return kStatusReactive;
        if (payload->password.isEmpty())
            return kStatusBadParam;
        setPassword(payload->password);
        m_record.notActivated = false;
        outcome.recordChanged = outcome.stateChanged = true;
        return kStatusDone;
    case Op::ResetWithAnswer: {
        if (!(m_record.capabilities & VOSK_CAP_KEY_RESET))
            return kStatusDenied;
        // Asking for what the device cannot do is a malformed request, not
        // a wrong answer: refused before the answer is looked at, so it
        // neither counts toward the lockout nor uses up the reset key.
        if (payload->newPassword.isEmpty()
            || (payload->resetCameras && !(m_record.capabilities & VOSK_CAP_RESET_CAMERAS)))
            return kStatusBadParam;
        const auto answer = authority.verifyAnswer(payload->answer);
        const bool valid = answer && answer->serial == m_record.serialNumber && m_resetKeyId.size() == 16
            && answer->keyId.size() == 16
            && sodium_memcmp(answer->keyId.constData(), m_resetKeyId.constData(), 16) == 0
            && answer->expires > unixSeconds;
        if (!valid) {
            countFailure(nowMs);
            return kStatusDenied;
        }
        m_failures = 0;
        setPassword(payload->newPassword);
        m_resetKeyId.clear();  // an answer works once
        m_resetKeyIssued = 0;
        outcome.stateChanged = true;
        return kStatusDone;
    }
    case Op::RestoreDefault: {
        const QByteArray code = payload->securityCode;
        const bool valid = !m_usedCodes.contains(code)
            && authority.verifySecurityCode(code, m_record.deviceDescription, m_record.serialNumber,
                                            VoskReset::ResetAuthority::dayOf(unixSeconds));
        if (!valid) {
            countFailure(nowMs);
            return kStatusDenied;
        }
        m_failures = 0;
        m_usedCodes.append(code);
        while (m_usedCodes.size() > 8)
            m_usedCodes.removeFirst();
        setPassword(defaultPassword());
        outcome.stateChanged = true;
        return kStatusDone;
    }
    case Op::ChangePassword: {
        if (!checkPassword(payload->password)) {
            countFailure(nowMs);
            return kStatusDenied;
        }
        m_failures = 0;
        if (payload->newPassword.isEmpty())
            return kStatusBadParam;
        setPassword(payload->newPassword);
        outcome.stateChanged = true;
        return kStatusDone;
    }
    default:
        return kStatusDenied;
    }
}

void SimDevice::setHostAddress(const QByteArray &address, const QByteArray &mask)
{
    m_record.ipv4Address = address;
    m_record.ipv4Mask = mask;
    m_record.ipv4Gateway.clear();
}

QJsonObject SimDevice::saveState() const
{
    QJsonObject o;
    o.insert(QStringLiteral("activated"), !m_record.notActivated);
    o.insert(QStringLiteral("salt"), QString::fromLatin1(hexOf(m_salt)));
    o.insert(QStringLiteral("passwordHash"), QString::fromLatin1(hexOf(m_passwordHash)));
    o.insert(QStringLiteral("ipv4Address"), QString::fromLatin1(m_record.ipv4Address));
    o.insert(QStringLiteral("ipv4Mask"), QString::fromLatin1(m_record.ipv4Mask));
    o.insert(QStringLiteral("ipv4Gateway"), QString::fromLatin1(m_record.ipv4Gateway));
    o.insert(QStringLiteral("ipv6Address"), QString::fromLatin1(m_record.ipv6Address));
    o.insert(QStringLiteral("ipv6Gateway"), QString::fromLatin1(m_record.ipv6Gateway));
    o.insert(QStringLiteral("ipv6PrefixLength"), m_record.ipv6PrefixLength);
    o.insert(QStringLiteral("port"), m_record.port);
    o.insert(QStringLiteral("httpPort"), m_record.httpPort);
    o.insert(QStringLiteral("dhcpEnabled"), m_record.dhcpEnabled);
    o.insert(QStringLiteral("resetKeyId"), QString::fromLatin1(hexOf(m_resetKeyId)));
    o.insert(QStringLiteral("resetKeyIssued"), double(m_resetKeyIssued));
    QJsonArray codes;
    for (const QByteArray &code : m_usedCodes)
        codes.append(QString::fromLatin1(code));
    o.insert(QStringLiteral("usedCodes"), codes);
    return o;
}

void SimDevice::loadState(const QJsonObject &o)
{
    auto text = [&](const char *key, qsizetype max, QByteArray &field) {
        const QByteArray value = o.value(QLatin1String(key)).toString().toLatin1();
        if (value.size() <= max && !value.contains('\0'))
            field = value;
    };
    m_record.notActivated = !o.value(QStringLiteral("activated")).toBool();
    m_salt = bytesFrom(o.value(QStringLiteral("salt")));
    m_passwordHash = bytesFrom(o.value(QStringLiteral("passwordHash")));
    text("ipv4Address", VoskNet::TextWidth::ipv4Address, m_record.ipv4Address);
    text("ipv4Mask", VoskNet::TextWidth::ipv4Mask, m_record.ipv4Mask);
    text("ipv4Gateway", VoskNet::TextWidth::ipv4Gateway, m_record.ipv4Gateway);
    text("ipv6Address", VoskNet::TextWidth::ipv6Address, m_record.ipv6Address);
    text("ipv6Gateway", VoskNet::TextWidth::ipv6Gateway, m_record.ipv6Gateway);
    m_record.ipv6PrefixLength = quint8(std::clamp(o.value(QStringLiteral("ipv6PrefixLength")).toInt(), 0, 128));
    m_record.port = quint16(std::clamp(o.value(QStringLiteral("port")).toInt(), 1, 65535));
    m_record.httpPort = quint16(std::clamp(o.value(QStringLiteral("httpPort")).toInt(), 0, 65535));
    m_record.dhcpEnabled = o.value(QStringLiteral("dhcpEnabled")).toBool();
    // A hand-edited or damaged file must not give a key the service could
    // not answer, nor a time that does not fit (the cast would be undefined).
    m_resetKeyId = bytesFrom(o.value(QStringLiteral("resetKeyId")));
    if (m_resetKeyId.size() != 16)
        m_resetKeyId.clear();
    m_resetKeyIssued = qint64(std::clamp(o.value(QStringLiteral("resetKeyIssued")).toDouble(), 0.0, 4.0e12));
    m_usedCodes.clear();
    for (const QJsonValue &code : o.value(QStringLiteral("usedCodes")).toArray())
        m_usedCodes.append(code.toString().toLatin1());
}

} // namespace VoskSim
