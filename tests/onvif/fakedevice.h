#pragma once

// A device management service on loopback for the client's tests: a small
// HTTP/1.1 server that checks WS-Security UsernameToken digests (on its
// own clock, which may be hours off) and HTTP Digest (MD5 or SHA-256), and
// answers each operation with a body the test chooses. It shares no code
// with the client but the XML tree reader and the Digest hash (whose
// vectors tst_onvifauth checks).

#include "onvif/httpdigest.h"
#include "onvif/namespaces.h"
#include "onvif/usernametoken.h"
#include "onvif/xmltree.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

namespace TestSupport {

class FakeDevice final : public QObject
{
public:
    enum class Auth { None, Token, Digest, Both };

    struct Reply
    {
        int status = 200;
        QByteArray body;  // the whole envelope
        QList<QPair<QByteArray, QByteArray>> headers;
        bool silent = false;  // never answer
        bool closeEarly = false;  // promise more than is sent, then close
    };

    Auth auth = Auth::None;
    QString username = QStringLiteral("admin");
    QString password = QStringLiteral("secret");
    qint64 clockOffsetMs = 0;
    QByteArray digestAlgorithm = "MD5";
    // Every challenge with the same nonce (a device whose nonce is timed).
    bool oneNonce = false;
    // Set by a test to answer one operation its own way; null: the default.
    std::function<std::optional<Reply>(const QString &operation, const Onvif::XmlTree &request)> answerWith;
    // What the default answers hold, per operation: the Body's content.
    QHash<QString, QByteArray> bodies;

    // Seen: every operation received, whether it passed authentication, and
    // how (token or digest).
    QStringList operations;
    QList<bool> authenticated;
    QStringList methods;
    int challenges = 0;

    FakeDevice()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }

    // A fresh nonce, valid from now on, as a device gives with each
    // challenge; revokeNonces() makes the earlier ones stale.
    QByteArray issueNonce()
    {
        const QByteArray n = "nonce" + QByteArray::number(oneNonce && m_nonces ? m_nonces : ++m_nonces);
        m_issued.insert(n);
        return n;
    }
    void revokeNonces() { m_issued.clear(); }

    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/onvif/device_service").arg(m_server.serverPort()));
    }
    QDateTime now() const { return QDateTime::currentDateTimeUtc().addMSecs(clockOffsetMs); }

    static QByteArray envelope(const QByteArray &body)
    {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<env:Envelope "
               "xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" "
               "xmlns:tt=\"http://www.onvif.org/ver10/schema\" xmlns:ter=\"http://www.onvif.org/ver10/error\">"
               "<env:Body>"
            + body + "</env:Body></env:Envelope>\r\n";
    }
    static QByteArray fault(const QByteArray &code, const QByteArray &subcode, const QByteArray &reason)
    {
        QByteArray sub = subcode.isEmpty() ? QByteArray()
                                           : "<env:Subcode><env:Value>" + subcode + "</env:Value></env:Subcode>";
        return envelope("<env:Fault><env:Code><env:Value>" + code + "</env:Value>" + sub
                        + "</env:Code><env:Reason><env:Text xml:lang=\"en\">" + reason
                        + "</env:Text></env:Reason></env:Fault>");
    }

private:
    struct Parsed
    {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers;
        QByteArray body;
    };

    void serve(QTcpSocket *s)
    {
        QByteArray &buffer = m_buffers[s];
        buffer += s->readAll();
        for (;;) {
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            Parsed p;
            const QList<QByteArray> lines = buffer.left(end).split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            p.method = first.value(0);
            p.path = first.value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines.at(i).indexOf(':');
                if (colon > 0)
                    p.headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
            }
            const qsizetype length = p.headers.value("content-length").toLongLong();
            if (buffer.size() < end + 4 + length)
                return;
            p.body = buffer.mid(end + 4, length);
            buffer.remove(0, end + 4 + length);
            respond(s, p);
        }
    }

    bool checkToken(const Onvif::XmlTree &t, int header)
    {
        const int security = t.child(header, Onvif::Ns::Security, u"Security");
        const int token = t.child(security, Onvif::Ns::Security, u"UsernameToken");
        if (token < 0 || t.childText(token, Onvif::Ns::Security, u"Username") != username)
            return false;
        const QByteArray nonceBytes = QByteArray::fromBase64(t.childText(token, Onvif::Ns::Security, u"Nonce").toLatin1());
        const QString created = t.childText(token, Onvif::Ns::SecurityUtility, u"Created");
        const QDateTime when = QDateTime::fromString(created, Qt::ISODate);
        // Devices allow a few seconds either way on their own clock.
        if (!when.isValid() || qAbs(when.msecsTo(now())) > 5000)
            return false;
        const QByteArray expected = QCryptographicHash::hash(nonceBytes + created.toUtf8() + password.toUtf8(),
                                                             QCryptographicHash::Sha1)
                                        .toBase64();
        return t.childText(token, Onvif::Ns::Security, u"Password").toLatin1() == expected;
    }

    bool checkDigest(const Parsed &p)
    {
        const QByteArray value = p.headers.value("authorization");
        if (!value.startsWith("Digest "))
            return false;
        // The client's answer, read back as a challenge's parameters.
        QHash<QByteArray, QByteArray> params;
        for (const QByteArray &part : value.mid(7).split(',')) {
            const qsizetype eq = part.indexOf('=');
            QByteArray v = part.mid(eq + 1).trimmed();
            if (v.startsWith('"'))
                v = v.mid(1, v.size() - 2);
            params.insert(part.left(eq).trimmed(), v);
        }
        const QByteArray nonce = params.value("nonce");
        if (params.value("username") != username.toUtf8() || !m_issued.contains(nonce))
            return false;
        const QList<Onvif::HttpDigest::Challenge> c =
            Onvif::HttpDigest::parse("Digest realm=\"fake\", qop=\"auth\", nonce=\"" + nonce + "\", algorithm=" + digestAlgorithm);
        const QByteArray expected = Onvif::HttpDigest::response(c.constFirst(), username, password, "POST", p.path,
                                                                params.value("cnonce"),
                                                                params.value("nc").toUInt(nullptr, 16));
        // A nonce count used once is a replay.
        const QByteArray used = nonce + ':' + params.value("nc");
        if (params.value("response") != expected || params.value("uri") != p.path || m_usedCounts.contains(used))
            return false;
        m_usedCounts.insert(used);
        return true;
    }

    void respond(QTcpSocket *s, const Parsed &p)
    {
        const Onvif::XmlTree t = Onvif::XmlTree::parse(p.body);
        const int header = t.child(t.root(), Onvif::Ns::Soap, u"Header");
        const int body = t.child(t.root(), Onvif::Ns::Soap, u"Body");
        const QString operation = t.isValid() && body >= 0 && t.firstChild(body) >= 0 ? t.node(t.firstChild(body)).name
                                                                                       : QString();
        const bool token = (auth == Auth::Token || auth == Auth::Both) && checkToken(t, header);
        const bool digest = (auth == Auth::Digest || auth == Auth::Both) && checkDigest(p);
        const bool preAuth = operation == QLatin1String("GetSystemDateAndTime");
        const bool ok = auth == Auth::None || preAuth || token || digest;
        operations.append(operation);
        authenticated.append(token || digest);
        methods.append(digest ? QStringLiteral("digest") : token ? QStringLiteral("token") : QString());

        Reply reply;
        if (answerWith) {
            if (const auto r = answerWith(operation, t)) {
                send(s, *r);
                return;
            }
        }
        if (!ok) {
            if (auth == Auth::Digest || auth == Auth::Both) {
                ++challenges;
                reply.status = 401;
                reply.headers.append({"WWW-Authenticate", "Digest realm=\"fake\", qop=\"auth\", nonce=\""
                                                              + issueNonce() + "\", algorithm=" + digestAlgorithm});
                reply.body = fault("env:Sender", "ter:NotAuthorized", "HTTP 401");
            } else {
                reply.status = 400;
                reply.body = fault("env:Sender", "ter:NotAuthorized", "Sender not authorized");
            }
        } else if (operation == QLatin1String("GetSystemDateAndTime")) {
            const QDateTime n = now();
            reply.body = envelope(QStringLiteral(
                                      "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:DateTimeType>NTP</tt:DateTimeType>"
                                      "<tt:DaylightSavings>false</tt:DaylightSavings><tt:UTCDateTime><tt:Time><tt:Hour>%1</tt:Hour>"
                                      "<tt:Minute>%2</tt:Minute><tt:Second>%3</tt:Second></tt:Time><tt:Date><tt:Year>%4</tt:Year>"
                                      "<tt:Month>%5</tt:Month><tt:Day>%6</tt:Day></tt:Date></tt:UTCDateTime>"
                                      "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>")
                                      .arg(n.time().hour())
                                      .arg(n.time().minute())
                                      .arg(n.time().second())
                                      .arg(n.date().year())
                                      .arg(n.date().month())
                                      .arg(n.date().day())
                                      .toUtf8());
        } else if (bodies.contains(operation)) {
            reply.body = envelope(bodies.value(operation));
        } else {
            reply.body = envelope("<tds:" + operation.toLatin1() + "Response/>");
        }
        send(s, reply);
    }

    void send(QTcpSocket *s, const Reply &r)
    {
        if (r.silent)
            return;
        QByteArray out = "HTTP/1.1 " + QByteArray::number(r.status) + " X\r\nContent-Type: application/soap+xml\r\n";
        for (const auto &[name, value] : r.headers)
            out += name + ": " + value + "\r\n";
        out += "Content-Length: " + QByteArray::number(r.body.size() + (r.closeEarly ? 1000 : 0)) + "\r\n\r\n" + r.body;
        s->write(out);
        if (r.closeEarly) {
            s->flush();
            s->disconnectFromHost();
        }
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QSet<QByteArray> m_usedCounts;
    QSet<QByteArray> m_issued;
    int m_nonces = 0;
};

} // namespace TestSupport
