#pragma once

// The secret part of a request: what the client seals to the device's
// public key (libsodium sealed box) and the device opens. It binds the
// request id, operation and target to a device-issued nonce, so a captured
// request can neither be read nor replayed elsewhere.

#include "vosk/wiremessage.h"

#include <optional>

namespace VoskNet {

struct SealedPayload
{
    QByteArray id;
    Op op = Op::Challenge;
    QByteArray targetSerial;
    QByteArray targetMac;
    QByteArray nonce;
    QByteArray password;     // modify, change password: administrator password; activate: the first one
    QByteArray newPassword;  // reset with answer, change password
    QByteArray answer;       // reset with answer: typed key text or answer-file content
    QByteArray securityCode; // restore default
    bool resetCameras = false;
    bool hasNetParams = false;
    WireRecord netParams;

    // The sealed box for that public key; empty when a field breaks its
    // bound or the key is not a valid X25519 key.
    QByteArray seal(const QByteArray &publicKey) const;
    // Opens and decodes; nullopt when the box does not open with that key
    // pair or its content is malformed.
    static std::optional<SealedPayload> open(const QByteArray &sealed, const QByteArray &publicKey,
                                             const QByteArray &secretKey);

    // The plain CBOR, for tests and the fuzz target.
    QByteArray encode() const;
    static std::optional<SealedPayload> decode(const QByteArray &plain);

    // Overwrites the secrets in memory.
    void wipe();
};

} // namespace VoskNet
