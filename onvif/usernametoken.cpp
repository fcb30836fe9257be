#include "onvif/usernametoken.h"

#include "onvif/namespaces.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QXmlStreamWriter>

namespace Onvif {

namespace {

QByteArray randomNonce()
{
    QByteArray nonce(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(nonce.data()), nonce.size() / 4);
    return nonce;
}

} // namespace

UsernameToken::UsernameToken(const QString &username, const QString &password, const QDateTime &created)
    : UsernameToken(username, password, created, randomNonce())
{
}

UsernameToken::UsernameToken(const QString &username, const QString &password, const QDateTime &created,
                             const QByteArray &nonce)
    : m_username(username)
    , m_nonce(nonce)
    , m_created(createdText(created))
    , m_digest(digest(nonce, m_created, password))
{
}

QByteArray UsernameToken::digest(const QByteArray &nonce, const QString &created, const QString &password)
{
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    sha1.addData(nonce);
    sha1.addData(created.toUtf8());
    sha1.addData(password.toUtf8());
    return sha1.result().toBase64();
}

QString UsernameToken::createdText(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

void UsernameToken::write(QXmlStreamWriter &w) const
{
    const QString wsse = Ns::Security.toString();
    const QString wsu = Ns::SecurityUtility.toString();
    w.writeNamespace(wsse, QStringLiteral("wsse"));
    w.writeNamespace(wsu, QStringLiteral("wsu"));
    w.writeStartElement(wsse, QStringLiteral("Security"));
    w.writeStartElement(wsse, QStringLiteral("UsernameToken"));
    w.writeTextElement(wsse, QStringLiteral("Username"), m_username);
    w.writeStartElement(wsse, QStringLiteral("Password"));
    w.writeAttribute(QStringLiteral("Type"), Ns::PasswordDigest.toString());
    w.writeCharacters(QString::fromLatin1(m_digest));
    w.writeEndElement();
    w.writeStartElement(wsse, QStringLiteral("Nonce"));
    w.writeAttribute(QStringLiteral("EncodingType"), Ns::Base64Binary.toString());
    w.writeCharacters(QString::fromLatin1(m_nonce.toBase64()));
    w.writeEndElement();
    w.writeTextElement(wsu, QStringLiteral("Created"), m_created);
    w.writeEndElement();
    w.writeEndElement();
}

} // namespace Onvif
