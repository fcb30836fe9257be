#pragma once

// Requests to a simulated ONVIF device, written as clients write them, and
// the reading of its answers: shared by the device and schema tests.

#include "tools/devsim/httpdigest.h"
#include "tools/devsim/onvifdevice.h"
#include "tools/devsim/onvifsoap.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QString>

namespace TestSupport {

inline QByteArray onvifEnvelope(const QString &body, const QString &header = QString())
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                                  "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
                                  " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
                                  " xmlns:tt=\"http://www.onvif.org/ver10/schema\">");
    if (!header.isEmpty())
        text += QStringLiteral("<s:Header>") + header + QStringLiteral("</s:Header>");
    text += QStringLiteral("<s:Body>") + body + QStringLiteral("</s:Body></s:Envelope>");
    return text.toUtf8();
}

// A WS-Security header with a UsernameToken password digest made at
// createdMs (the client's idea of the device's clock).
inline QString onvifUsernameToken(const QString &user, const QByteArray &password, qint64 createdMs,
                                  const QByteArray &nonce, bool digest = true)
{
    const QString created =
        QDateTime::fromMSecsSinceEpoch(createdMs, Qt::UTC).toString(Qt::ISODateWithMs);
    const QByteArray value = digest
        ? QCryptographicHash::hash(nonce + created.toUtf8() + password, QCryptographicHash::Sha1).toBase64()
        : password;
    const QString type = digest ? QStringLiteral("PasswordDigest") : QStringLiteral("PasswordText");
    return QStringLiteral(
               "<wsse:Security s:mustUnderstand=\"1\" "
               "xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\" "
               "xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\">"
               "<wsse:UsernameToken><wsse:Username>%1</wsse:Username>"
               "<wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
               "oasis-200401-wss-username-token-profile-1.0#%2\">%3</wsse:Password>"
               "<wsse:Nonce>%4</wsse:Nonce><wsu:Created>%5</wsu:Created></wsse:UsernameToken></wsse:Security>")
        .arg(user, type, QString::fromLatin1(value), QString::fromLatin1(nonce.toBase64()), created);
}

// The Authorization header answering one of a device's challenges.
inline QByteArray onvifDigestAuthorization(const QByteArray &challenge, const QByteArray &user,
                                           const QByteArray &password, const QByteArray &method,
                                           const QByteArray &uri, const QByteArray &nc = "00000001")
{
    const auto params = VoskSim::HttpDigest::parseParameters(challenge).value_or(QHash<QByteArray, QByteArray>());
    const QByteArray algorithm = params.value("algorithm", "MD5");
    const QByteArray cnonce = "0a4f113b";
    const QByteArray response = VoskSim::HttpDigest::response(algorithm, user, params.value("realm"), password,
                                                              method, uri, params.value("nonce"), nc, cnonce);
    return "Digest username=\"" + user + "\", realm=\"" + params.value("realm") + "\", nonce=\""
        + params.value("nonce") + "\", uri=\"" + uri + "\", algorithm=" + algorithm + ", qop=auth, nc=" + nc
        + ", cnonce=\"" + cnonce + "\", response=\"" + response + "\", opaque=\"" + params.value("opaque") + '"';
}

// The innermost fault subcode's local name ("" for an answer that is no
// fault).
inline QString onvifFaultSubcode(const QByteArray &body)
{
    VoskSim::OnvifSoap::Message message;
    if (VoskSim::OnvifSoap::parse(body, message) != VoskSim::OnvifSoap::ParseError::None
        || !message.payload.is(VoskSim::OnvifSoap::kEnvelope, u"Fault"))
        return QString();
    const VoskSim::OnvifSoap::Element *code = message.payload.child(VoskSim::OnvifSoap::kEnvelope, u"Code");
    QString last;
    while (code) {
        last = code->childText(VoskSim::OnvifSoap::kEnvelope, u"Value");
        code = code->child(VoskSim::OnvifSoap::kEnvelope, u"Subcode");
    }
    return last.mid(last.indexOf(QLatin1Char(':')) + 1);
}

} // namespace TestSupport
