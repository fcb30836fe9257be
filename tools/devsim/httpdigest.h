#pragma once

// The server side of HTTP digest authentication (RFC 7616) for one
// simulated device: challenges with SHA-256 and MD5, qop=auth, nonces that
// expire and whose nonce counts are each taken once (a replayed request is
// refused; requests sent in parallel may arrive out of order).
// No I/O; the caller passes the clock. Not thread-safe.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>

#include <deque>
#include <functional>
#include <optional>

namespace VoskSim {

class HttpDigest final
{
public:
    static constexpr qint64 kNonceLifetimeMs = 300000;
    static constexpr std::size_t kMaxNonces = 128;
    // Counts remembered per nonce; past that the nonce is stale.
    static constexpr int kMaxCountsPerNonce = 256;

    explicit HttpDigest(QByteArray realm);

    const QByteArray &realm() const { return m_realm; }

    // The WWW-Authenticate values of a 401 reply, strongest first (SHA-256,
    // then MD5). Each carries a fresh nonce. stale: the client's nonce had
    // expired, its credentials may well be right.
    QList<QByteArray> challenges(qint64 nowMs, bool stale = false);

    enum class Result {
        Missing,   // no Digest credentials
        Malformed, // unparsable, wrong realm, uri, qop or algorithm
        Stale,     // a nonce this device did not issue, or one that expired
        Replayed,  // a nonce count used before
        Refused,   // unknown user or wrong response
        Accepted,
    };
    // Checks the Authorization header of a request. passwordOf gives a
    // user's password, or nothing for an unknown user. On Accepted, user
    // holds the user name.
    Result verify(const QByteArray &authorization, const QByteArray &method, const QByteArray &target,
                  qint64 nowMs, const std::function<std::optional<QByteArray>(const QByteArray &)> &passwordOf,
                  QByteArray &user);

    // The request digest of RFC 7616 section 3.4.1 with qop=auth, as
    // lower-case hex. algorithm is "MD5" or "SHA-256"; empty on any other.
    static QByteArray response(const QByteArray &algorithm, const QByteArray &user, const QByteArray &realm,
                               const QByteArray &password, const QByteArray &method, const QByteArray &uri,
                               const QByteArray &nonce, const QByteArray &nc, const QByteArray &cnonce);
    // The parameters of "Digest k=v, k="quoted \" value", ..."; keys in
    // lower case. Nothing when the header is not Digest or is malformed.
    static std::optional<QHash<QByteArray, QByteArray>> parseParameters(const QByteArray &header);

private:
    struct Nonce
    {
        QByteArray value;
        qint64 issuedMs = 0;
        QSet<quint64> counts;  // taken
    };

    QByteArray m_realm;
    QByteArray m_opaque;
    std::deque<Nonce> m_nonces;
};

} // namespace VoskSim
