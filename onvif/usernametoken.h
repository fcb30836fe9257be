#pragma once

// WS-Security UsernameToken with PasswordDigest, as ONVIF devices take it:
// Digest = Base64(SHA-1(nonce + created + password)), the nonce sent in
// Base64, created in UTC on the device's clock (the caller passes the time
// corrected by the offset it learned from GetSystemDateAndTime), so that a
// device whose clock is hours off still accepts it. Any thread.

#include <QByteArray>
#include <QDateTime>
#include <QString>

class QXmlStreamWriter;

namespace Onvif {

class UsernameToken final
{
public:
    // A token with a fresh random 16-byte nonce.
    UsernameToken(const QString &username, const QString &password, const QDateTime &created);
    // A token with the given nonce (raw bytes): test vectors.
    UsernameToken(const QString &username, const QString &password, const QDateTime &created, const QByteArray &nonce);

    // Base64(SHA-1(nonce + created + password)), the password as UTF-8.
    static QByteArray digest(const QByteArray &nonce, const QString &created, const QString &password);
    // "2026-12-07T17:30:05Z": xs:dateTime in UTC, whole seconds.
    static QString createdText(const QDateTime &time);

    const QString &username() const { return m_username; }
    const QByteArray &nonce() const { return m_nonce; }
    const QString &created() const { return m_created; }
    const QByteArray &passwordDigest() const { return m_digest; }

    // Writes the wsse:Security header entry.
    void write(QXmlStreamWriter &writer) const;

private:
    QString m_username;
    QByteArray m_nonce;
    QString m_created;
    QByteArray m_digest;
};

} // namespace Onvif
