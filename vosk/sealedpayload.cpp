#include "vosk/sealedpayload.h"

#include "vosk/cborfields.h"
#include "vosk/recordtext.h"

#include <sodium.h>

namespace VoskNet {

using namespace Cbor;

namespace {

enum SealedKey : quint64 {
    kVersion = 0, kId = 2, kOp = 10, kTargetSerial = 11, kTargetMac = 12, kNonce = 30, kPassword = 31,
    kNewPassword = 32, kNetParams = 33, kAnswer = 34, kCode = 35, kCameras = 36
};

void wipeBytes(QByteArray &bytes)
{
    if (!bytes.isEmpty())
        sodium_memzero(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

} // namespace

QByteArray SealedPayload::encode() const
{
    if (id.size() != kIdSize || nonce.size() != kNonceSize || password.size() > kMaxSecret
        || newPassword.size() > kMaxSecret || securityCode.size() > kMaxSecret || answer.size() > kMaxAnswer
        || targetSerial.size() > TextWidth::serialNumber || targetMac.size() > TextWidth::mac)
        return {};
    QByteArray out;
    QCborStreamWriter w(&out);
    w.startMap();
    writeUInt(w, kVersion, kProtocolVersion);
    writeText(w, kId, id);
    writeUInt(w, kOp, quint64(op));
    if (!targetSerial.isEmpty())
        writeText(w, kTargetSerial, targetSerial);
    if (!targetMac.isEmpty())
        writeText(w, kTargetMac, targetMac);
    writeText(w, kNonce, nonce);
    if (!password.isEmpty())
        writeText(w, kPassword, password);
    if (!newPassword.isEmpty())
        writeText(w, kNewPassword, newPassword);
    if (hasNetParams) {
        w.append(quint64(kNetParams));
        encodeNetParams(w, netParams);
    }
    if (!answer.isEmpty())
        writeText(w, kAnswer, answer);
    if (!securityCode.isEmpty())
        writeText(w, kCode, securityCode);
    if (resetCameras)
        writeUInt(w, kCameras, 1);
    w.endMap();
    return out;
}

std::optional<SealedPayload> SealedPayload::decode(const QByteArray &plain)
{
    if (plain.isEmpty() || plain.size() > kMaxSealed)
        return std::nullopt;
    QCborStreamReader r(plain);
    SealedPayload p;
    quint64 version = 0, op = 0;
    const bool ok = readMap(r, [&](quint64 key) {
        switch (key) {
        case kVersion: return readUInt(r, ~quint64(0), version);
        case kId: return readBytes(r, kIdSize, kIdSize, p.id);
        case kOp: return readUInt(r, kMaxOp, op);
        case kTargetSerial: return readText(r, 1, TextWidth::serialNumber, p.targetSerial);
        case kTargetMac: return readText(r, 1, TextWidth::mac, p.targetMac);
        case kNonce: return readBytes(r, kNonceSize, kNonceSize, p.nonce);
        case kPassword: return readBytes(r, 1, kMaxSecret, p.password);
        case kNewPassword: return readBytes(r, 1, kMaxSecret, p.newPassword);
        case kNetParams: p.hasNetParams = true; return decodeNetParams(r, p.netParams);
        case kAnswer: return readBytes(r, 1, kMaxAnswer, p.answer);
        case kCode: return readText(r, 1, kMaxSecret, p.securityCode);
        case kCameras: return readBool(r, p.resetCameras);
        default: return skip(r);
        }
    });
    if (!ok || r.currentOffset() != plain.size() || version != kProtocolVersion || op == 0 || p.id.isEmpty()
        || p.nonce.isEmpty())
        return std::nullopt;
    p.op = Op(op);
    return p;
}

QByteArray SealedPayload::seal(const QByteArray &publicKey) const
{
    if (publicKey.size() != crypto_box_PUBLICKEYBYTES)
        return {};
    QByteArray plain = encode();
    if (plain.isEmpty() || plain.size() + int(crypto_box_SEALBYTES) > kMaxSealed)
        return {};
    QByteArray box(plain.size() + int(crypto_box_SEALBYTES), Qt::Uninitialized);
    const int rc = crypto_box_seal(reinterpret_cast<unsigned char *>(box.data()),
                                   reinterpret_cast<const unsigned char *>(plain.constData()),
                                   quint64(plain.size()),
                                   reinterpret_cast<const unsigned char *>(publicKey.constData()));
    wipeBytes(plain);
    return rc == 0 ? box : QByteArray();
}

std::optional<SealedPayload> SealedPayload::open(const QByteArray &sealed, const QByteArray &publicKey,
                                                 const QByteArray &secretKey)
{
    if (sealed.size() < int(crypto_box_SEALBYTES) || sealed.size() > kMaxSealed
        || publicKey.size() != crypto_box_PUBLICKEYBYTES || secretKey.size() != crypto_box_SECRETKEYBYTES)
        return std::nullopt;
    QByteArray plain(sealed.size() - int(crypto_box_SEALBYTES), Qt::Uninitialized);
    if (crypto_box_seal_open(reinterpret_cast<unsigned char *>(plain.data()),
                             reinterpret_cast<const unsigned char *>(sealed.constData()), quint64(sealed.size()),
                             reinterpret_cast<const unsigned char *>(publicKey.constData()),
                             reinterpret_cast<const unsigned char *>(secretKey.constData()))
        != 0)
        return std::nullopt;
    auto payload = decode(plain);
    wipeBytes(plain);
    return payload;
}

void SealedPayload::wipe()
{
    wipeBytes(password);
    wipeBytes(newPassword);
    wipeBytes(answer);
    wipeBytes(securityCode);
}

} // namespace VoskNet
