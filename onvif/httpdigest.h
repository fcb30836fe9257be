#pragma once

// HTTP Digest access authentication (RFC 7616) for devices that challenge
// with 401: MD5 and SHA-256, each also as "-sess", qop "auth" (and the
// RFC 2069 form without qop that old firmware still sends). auth-int and
// userhash are not offered to devices, so challenges that require them
// are not answered. Any thread; values only.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace Onvif {

class HttpDigest final
{
public:
    enum class Hash { Md5, Sha256 };

    struct Challenge
    {
        Hash hash = Hash::Md5;
        bool session = false;  // "-sess"
        bool qopAuth = false;  // qop offered and includes "auth"
        bool stale = false;
        QByteArray algorithm;  // as the server wrote it; empty: MD5 by default
        QByteArray realm;
        QByteArray nonce;
        QByteArray opaque;
    };

    // Every Digest challenge of a WWW-Authenticate value (several headers
    // joined with commas are fine) that this client can answer, strongest
    // first (SHA-256 before MD5). Other schemes and malformed parts are
    // skipped.
    static QList<Challenge> parse(const QByteArray &wwwAuthenticate);

    // The request-digest in lower-case hex.
    static QByteArray response(const Challenge &challenge, const QString &username, const QString &password,
                               const QByteArray &method, const QByteArray &uri, const QByteArray &cnonce,
                               quint32 nonceCount);
    // The Authorization header value ("Digest username=..., response=...").
    static QByteArray authorization(const Challenge &challenge, const QString &username, const QString &password,
                                    const QByteArray &method, const QByteArray &uri, const QByteArray &cnonce,
                                    quint32 nonceCount);
    // A fresh client nonce: 16 random bytes, Base64.
    static QByteArray makeClientNonce();
};

} // namespace Onvif
