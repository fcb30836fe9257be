#pragma once

// One simulated network video device: its record, its key pair, its
// administrator password (a salted Argon2id hash), and the device side of
// every protocol operation (docs/protocol.md). No I/O: the fleet feeds it
// messages and sends what it answers.

#include "tools/resetsvc/resetauthority.h"
#include "vosk/wiremessage.h"

#include <QJsonObject>
#include <QList>

#include <deque>
#include <optional>

namespace VoskSim {

class SimDevice final
{
public:
    static constexpr int kMaxFailures = 5;
    static constexpr qint64 kLockoutMs = 60000;
    static constexpr qint64 kNonceLifetimeMs = 30000;
    // What a restore with a security code sets.
    static QByteArray defaultPassword() { return QByteArrayLiteral("57094"); }

    // The device number index of the fleet made with seed: the same every
    // time. activePassword is the administrator password of the devices
    // that start activated.
    static SimDevice generate(quint64 seed, int index, const QByteArray &activePassword);

    // Makes the device start activated with that password, or not
    // activated (no password).
    void setActivated(bool activated, const QByteArray &password);

    const VoskNet::WireRecord &record() const { return m_record; }
    const QByteArray &publicKey() const { return m_publicKey; }

    // A report of this device (the next sequence number).
    VoskNet::WireMessage report(VoskNet::ReportEvent event, const QByteArray &answers = QByteArray());
    // Token buckets: at most 5 inquiries and 20 requests per second.
    bool allowInquiry(qint64 nowMs);
    bool allowRequest(qint64 nowMs);

    struct Outcome
    {
        VoskNet::WireMessage response;
        bool recordChanged = false;  // send a "changed" report
        bool stateChanged = false;   // save the state file
    };
    // The answer to a request addressed to this device; a repeated request
    // id is answered from the cache without acting again. refuse: answer
    // every operation with 2009 (fault injection).
    Outcome handleRequest(const VoskNet::WireMessage &request, qint64 nowMs, qint64 unixSeconds, bool refuse,
                          const VoskReset::ResetAuthority &authority);

    // Makes the record show the host's real address (a simulator that
    // plays one device on a host of its own).
    void setHostAddress(const QByteArray &address, const QByteArray &mask);

    QJsonObject saveState() const;
    void loadState(const QJsonObject &state);

private:
    struct Bucket
    {
        double tokens = 0;
        qint64 last = 0;
    };
    struct CachedResponse
    {
        QByteArray id;
        VoskNet::WireMessage response;
        qint64 time = 0;
    };

    quint32 operate(const VoskNet::WireMessage &request, qint64 nowMs, qint64 unixSeconds,
                    const VoskReset::ResetAuthority &authority, Outcome &outcome);
    void setPassword(const QByteArray &password);
    bool checkPassword(const QByteArray &password) const;
    void countFailure(qint64 nowMs);
    static bool take(Bucket &bucket, double rate, double burst, qint64 nowMs);

    VoskNet::WireRecord m_record;
    QByteArray m_publicKey;
    QByteArray m_secretKey;
    QByteArray m_boot;
    quint32 m_seq = 0;

    QByteArray m_salt;
    QByteArray m_passwordHash;  // empty while not activated
    QByteArray m_resetKeyId;
    qint64 m_resetKeyIssued = 0;
    QList<QByteArray> m_usedCodes;

    int m_failures = 0;
    qint64 m_lockedUntil = 0;
    std::deque<std::pair<QByteArray, qint64>> m_nonces;  // nonce, expiry
    std::deque<CachedResponse> m_responses;
    Bucket m_inquiryBucket;
    Bucket m_requestBucket;
};

} // namespace VoskSim
