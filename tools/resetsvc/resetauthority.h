#pragma once

// The reset service's cryptography, shared by the reset-service stand-in
// (which issues answers and security codes) and the simulated devices
// (which verify them).
//
// - Device key: what a device exports for a password reset: its serial
//   number, MAC, a random reset-key id and the key's issue time, as
//   "V1." or "V2." + base64url(CBOR). Printable, no zero byte.
// - Answer: the service's Ed25519 signature over the serial number, the
//   reset-key id and the expiry (issue time + 24 h), as "RA1." +
//   base64url(CBOR); an answer file is a small XML file around it.
// - Security code: "<day>-<16 base32 characters>", an HMAC-SHA-256 (cut to
//   80 bits) with the service key over the device type, the serial number
//   as the restore QR code writes it and the day (days since 1970, UTC).
//
// The stand-in's keys are built in: it is a test fixture, not a service.

#include <QByteArray>

#include <optional>

namespace VoskReset {

class ResetAuthority final
{
public:
    static constexpr qint64 kKeyLifetimeSeconds = 24 * 3600;

    struct DeviceKey
    {
        int style = 1;  // 1 old-style (command 1), 2 new-style (command 2)
        QByteArray serial;
        QByteArray mac;
        QByteArray keyId;  // 16 bytes
        qint64 issued = 0; // seconds since 1970
    };
    struct Answer
    {
        QByteArray serial;
        QByteArray keyId;
        qint64 expires = 0;
    };

    ResetAuthority();

    static QByteArray encodeDeviceKey(const DeviceKey &key);
    // The first well-formed device key inside a key file or a QR text.
    static std::optional<DeviceKey> findDeviceKey(const QByteArray &text);

    // The typed answer text for a device key.
    QByteArray makeAnswer(const DeviceKey &key) const;
    static QByteArray answerFile(const QByteArray &answer, const QByteArray &serial);
    // The first answer inside a typed text or an answer file whose
    // signature holds; nullopt otherwise.
    std::optional<Answer> verifyAnswer(const QByteArray &textOrFile) const;

    // The security code for a restore QR text ("A:" type "**" serial part);
    // empty when the text is not one.
    QByteArray makeSecurityCode(const QByteArray &qrText, qint64 day) const;
    // Whether code is this device's code of today or yesterday. The QR text
    // may carry the serial number whole or with the type text removed, so
    // both are accepted. Only the code exactly as the service writes it
    // (so that a device's list of used codes sees every spelling of it).
    // Constant-time comparison.
    bool verifySecurityCode(const QByteArray &code, const QByteArray &deviceType, const QByteArray &serial,
                            qint64 today) const;

    static qint64 dayOf(qint64 unixSeconds) { return unixSeconds / 86400; }

private:
    QByteArray codeMac(const QByteArray &deviceType, const QByteArray &serialPart, qint64 day) const;

    QByteArray m_signPublic;
    QByteArray m_signSecret;
    QByteArray m_macKey;
};

} // namespace VoskReset
