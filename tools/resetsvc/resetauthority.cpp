#include "tools/resetsvc/resetauthority.h"

#include <QCborArray>
#include <QCborValue>
#include <QRegularExpression>

#include <sodium.h>

namespace VoskReset {

namespace {

constexpr auto kB64 = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

QByteArray derive(const char *label)
{
    QByteArray out(32, Qt::Uninitialized);
    const QByteArray seed = QByteArrayLiteral("vosk reset service stand-in, key 1: ") + label;
    crypto_generichash(reinterpret_cast<unsigned char *>(out.data()), 32,
                       reinterpret_cast<const unsigned char *>(seed.constData()), quint64(seed.size()), nullptr, 0);
    return out;
}

QByteArray signedPart(const QByteArray &serial, const QByteArray &keyId, qint64 expires)
{
    return QByteArrayLiteral("VOSK-RESET-ANSWER-1")
        + QCborArray{QCborValue(serial), QCborValue(keyId), QCborValue(expires)}.toCborValue().toCbor();
}

QByteArray base32(const QByteArray &bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    QByteArray out;
    quint32 buffer = 0;
    int bits = 0;
    for (const char c : bytes) {
        buffer = (buffer << 8) | quint8(c);
        bits += 8;
        while (bits >= 5) {
            out += alphabet[(buffer >> (bits - 5)) & 31];
            bits -= 5;
        }
    }
    if (bits > 0)
        out += alphabet[(buffer << (5 - bits)) & 31];
    return out;
}

// Decodes base64url token text into a CBOR array of the expected size.
std::optional<QCborArray> tokenArray(const QByteArray &token, qsizetype size)
{
    const auto decoded = QByteArray::fromBase64Encoding(token, kB64 | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(*decoded, &error);
    if (error.error != QCborError::NoError || !value.isArray() || value.toArray().size() != size)
        return std::nullopt;
    return value.toArray();
}

} // namespace

ResetAuthority::ResetAuthority()
{
    if (sodium_init() < 0)
        return;
    m_signPublic.resize(crypto_sign_PUBLICKEYBYTES);
    m_signSecret.resize(crypto_sign_SECRETKEYBYTES);
    const QByteArray seed = derive("signing");
    crypto_sign_seed_keypair(reinterpret_cast<unsigned char *>(m_signPublic.data()),
                             reinterpret_cast<unsigned char *>(m_signSecret.data()),
                             reinterpret_cast<const unsigned char *>(seed.constData()));
    m_macKey = derive("security codes");
}

QByteArray ResetAuthority::encodeDeviceKey(const DeviceKey &key)
{
    const QByteArray cbor = QCborArray{QCborValue(key.serial), QCborValue(key.mac), QCborValue(key.keyId),
                                       QCborValue(key.issued)}
                                .toCborValue()
                                .toCbor();
    return (key.style == 2 ? QByteArrayLiteral("V2.") : QByteArrayLiteral("V1.")) + cbor.toBase64(kB64);
}

std::optional<ResetAuthority::DeviceKey> ResetAuthority::findDeviceKey(const QByteArray &text)
{
    static const QRegularExpression pattern(QStringLiteral("V([12])\\.([A-Za-z0-9_-]{16,600})"));
    auto matches = pattern.globalMatch(QString::fromLatin1(text.left(4096)));
    while (matches.hasNext()) {
        const auto match = matches.next();
        const auto array = tokenArray(match.captured(2).toLatin1(), 4);
        if (!array)
            continue;
        const QCborArray &a = *array;
        if (!a.at(0).isByteArray() || !a.at(1).isByteArray() || !a.at(2).isByteArray() || !a.at(3).isInteger())
            continue;
        DeviceKey key;
        key.style = match.captured(1).toInt();
        key.serial = a.at(0).toByteArray();
        key.mac = a.at(1).toByteArray();
        key.keyId = a.at(2).toByteArray();
        key.issued = a.at(3).toInteger();
        if (key.serial.isEmpty() || key.keyId.size() != 16)
            continue;
        return key;
    }
    return std::nullopt;
}

QByteArray ResetAuthority::makeAnswer(const DeviceKey &key) const
{
    const qint64 expires = key.issued + kKeyLifetimeSeconds;
    const QByteArray message = signedPart(key.serial, key.keyId, expires);
    QByteArray signature(crypto_sign_BYTES, Qt::Uninitialized);
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(message.constData()), quint64(message.size()),
                         reinterpret_cast<const unsigned char *>(m_signSecret.constData()));
    const QByteArray cbor = QCborArray{QCborValue(key.serial), QCborValue(key.keyId), QCborValue(expires),
                                       QCborValue(signature)}
                                .toCborValue()
                                .toCbor();
    return QByteArrayLiteral("RA1.") + cbor.toBase64(kB64);
}

QByteArray ResetAuthority::answerFile(const QByteArray &answer, const QByteArray &serial)
{
    QByteArray escaped = serial;
    escaped.replace('&', "&amp;").replace('<', "&lt;").replace('>', "&gt;");
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<ResetAnswer version=\"1\">\r\n")
        + "  <SerialNumber>" + escaped + "</SerialNumber>\r\n  <Answer>" + answer
        + "</Answer>\r\n</ResetAnswer>\r\n";
}

std::optional<ResetAuthority::Answer> ResetAuthority::verifyAnswer(const QByteArray &textOrFile) const
{
    static const QRegularExpression pattern(QStringLiteral("RA1\\.([A-Za-z0-9_-]{16,900})"));
    auto matches = pattern.globalMatch(QString::fromLatin1(textOrFile.left(4096)));
    while (matches.hasNext()) {
        const auto array = tokenArray(matches.next().captured(1).toLatin1(), 4);
        if (!array)
            continue;
        const QCborArray &a = *array;
        if (!a.at(0).isByteArray() || !a.at(1).isByteArray() || !a.at(2).isInteger() || !a.at(3).isByteArray())
            continue;
        Answer answer;
        answer.serial = a.at(0).toByteArray();
        answer.keyId = a.at(1).toByteArray();
        answer.expires = a.at(2).toInteger();
        const QByteArray signature = a.at(3).toByteArray();
        const QByteArray message = signedPart(answer.serial, answer.keyId, answer.expires);
        if (signature.size() != crypto_sign_BYTES || m_signPublic.size() != crypto_sign_PUBLICKEYBYTES)
            continue;
        if (crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.constData()),
                                        reinterpret_cast<const unsigned char *>(message.constData()),
                                        quint64(message.size()),
                                        reinterpret_cast<const unsigned char *>(m_signPublic.constData()))
            == 0)
            return answer;
    }
    return std::nullopt;
}

QByteArray ResetAuthority::codeMac(const QByteArray &deviceType, const QByteArray &serialPart, qint64 day) const
{
    const QByteArray message = QByteArrayLiteral("VOSK-CODE-1") + '\0' + deviceType + '\0' + serialPart + '\0'
        + QByteArray::number(day);
    unsigned char mac[crypto_auth_hmacsha256_BYTES];
    crypto_auth_hmacsha256(mac, reinterpret_cast<const unsigned char *>(message.constData()), quint64(message.size()),
                           reinterpret_cast<const unsigned char *>(m_macKey.constData()));
    return base32(QByteArray(reinterpret_cast<const char *>(mac), 10));
}

QByteArray ResetAuthority::makeSecurityCode(const QByteArray &qrText, qint64 day) const
{
    if (!qrText.startsWith("A:"))
        return {};
    const qsizetype separator = qrText.indexOf("**", 2);
    if (separator < 0)
        return {};
    const QByteArray type = qrText.mid(2, separator - 2);
    const QByteArray serialPart = qrText.mid(separator + 2);
    if (serialPart.isEmpty())
        return {};
    return QByteArray::number(day) + '-' + codeMac(type, serialPart, day);
}

bool ResetAuthority::verifySecurityCode(const QByteArray &code, const QByteArray &deviceType,
                                        const QByteArray &serial, qint64 today) const
{
    const qsizetype dash = code.indexOf('-');
    if (dash <= 0 || code.size() - dash - 1 != 16)
        return false;
    bool ok = false;
    const qint64 day = code.left(dash).toLongLong(&ok);
    // Only the form the service writes: "020800-…" or " 20800-…" would
    // verify as well and slip past a device's list of used codes.
    if (!ok || day > today || day < today - 1 || code.left(dash) != QByteArray::number(day))
        return false;
    const QByteArray given = code.mid(dash + 1);
    QByteArray shortened = serial;
    if (!deviceType.isEmpty())
        shortened.replace(deviceType, QByteArray());
    bool match = false;
    for (const QByteArray &candidate : {serial, shortened}) {
        if (candidate.isEmpty())
            continue;
        const QByteArray expected = codeMac(deviceType, candidate, day);
        match = (sodium_memcmp(expected.constData(), given.constData(), 16) == 0) || match;
    }
    return match;
}

} // namespace VoskReset
