#include "onvif/discoverymessage.h"

#include "onvif/namespaces.h"
#include "onvif/soapenvelope.h"

#include <QRegularExpression>
#include <QUuid>
#include <QXmlStreamWriter>

namespace Onvif::DiscoveryMessages {

namespace {

QString clark(QStringView ns, QStringView local)
{
    return u'{' + ns.toString() + u'}' + local.toString();
}

QStringList words(const QString &text)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    return text.split(space, Qt::SkipEmptyParts);
}

bool readTarget(const XmlTree &t, int node, DiscoveryTarget *out)
{
    const int reference = t.child(node, Ns::Addressing, u"EndpointReference");
    QString endpoint = t.childText(reference, Ns::Addressing, u"Address");
    if (endpoint.isEmpty())
        return false;
    DiscoveryTarget target;
    target.endpoint = endpoint;
    const int types = t.child(node, Ns::Discovery, u"Types");
    for (const QString &qname : words(t.text(types))) {
        QString ns;
        QString local;
        // A type whose prefix is not declared names nothing: left out.
        if (t.resolveQName(types, qname, &ns, &local))
            target.types.append(clark(ns, local));
    }
    target.scopes = words(t.childText(node, Ns::Discovery, u"Scopes"));
    target.xaddrs = words(t.childText(node, Ns::Discovery, u"XAddrs"));
    bool ok = false;
    const uint version = t.childText(node, Ns::Discovery, u"MetadataVersion").toUInt(&ok);
    target.metadataVersion = ok ? version : 0;
    *out = target;
    return true;
}

} // namespace

QString deviceType()
{
    return clark(Ns::Device, u"Device");
}

QString networkVideoTransmitterType()
{
    return clark(Ns::Network, u"NetworkVideoTransmitter");
}

QString makeMessageId()
{
    return QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QByteArray probe(const QString &messageId, const QStringList &types)
{
    // The prefixes the envelope declares, for the Types QNames.
    const QList<QPair<QString, QString>> prefixes{{Ns::Network.toString(), QStringLiteral("dn")},
                                                  {Ns::Device.toString(), QStringLiteral("tds")}};
    QStringList qnames;
    for (const QString &type : types) {
        const qsizetype close = type.indexOf(u'}');
        const QString ns = type.mid(1, close - 1);
        for (const auto &[uri, prefix] : prefixes) {
            if (uri == ns)
                qnames.append(prefix + u':' + type.mid(close + 1));
        }
    }
    const QString wsa = Ns::Addressing.toString();
    const QString d = Ns::Discovery.toString();
    auto header = [&](QXmlStreamWriter &w) {
        w.writeTextElement(wsa, QStringLiteral("MessageID"), messageId);
        w.writeTextElement(wsa, QStringLiteral("To"), QStringLiteral("urn:schemas-xmlsoap-org:ws:2005:04:discovery"));
        w.writeTextElement(wsa, QStringLiteral("Action"), d + QStringLiteral("/Probe"));
    };
    auto body = [&](QXmlStreamWriter &w) {
        w.writeStartElement(d, QStringLiteral("Probe"));
        if (!qnames.isEmpty())
            w.writeTextElement(d, QStringLiteral("Types"), qnames.join(u' '));
        w.writeEndElement();
    };
    return SoapEnvelope::write(header, body);
}

bool parse(const QByteArray &datagram, DiscoveryMessage *out, const XmlLimits &limits)
{
    const SoapEnvelope envelope = SoapEnvelope::read(datagram, limits);
    if (!envelope.isValid() || envelope.isFault())
        return false;
    const XmlTree &t = envelope.tree();
    const int payload = envelope.payload();
    if (payload < 0 || t.node(payload).ns != Ns::Discovery)
        return false;
    DiscoveryMessage message;
    message.messageId = t.childText(envelope.header(), Ns::Addressing, u"MessageID");
    message.relatesTo = t.childText(envelope.header(), Ns::Addressing, u"RelatesTo");
    const QString &name = t.node(payload).name;
    if (name == QLatin1String("Probe")) {
        message.kind = DiscoveryMessage::Kind::Probe;
        DiscoveryTarget wanted;
        const int types = t.child(payload, Ns::Discovery, u"Types");
        for (const QString &qname : words(t.text(types))) {
            QString ns;
            QString local;
            if (t.resolveQName(types, qname, &ns, &local))
                wanted.types.append(clark(ns, local));
        }
        wanted.scopes = words(t.childText(payload, Ns::Discovery, u"Scopes"));
        message.targets.append(wanted);
    } else if (name == QLatin1String("ProbeMatches")) {
        message.kind = DiscoveryMessage::Kind::ProbeMatches;
        for (const int match : t.children(payload, Ns::Discovery, u"ProbeMatch")) {
            DiscoveryTarget target;
            if (!readTarget(t, match, &target))
                return false;
            message.targets.append(target);
        }
        if (message.targets.isEmpty())
            return false;
    } else if (name == QLatin1String("Hello") || name == QLatin1String("Bye")) {
        message.kind = name == QLatin1String("Hello") ? DiscoveryMessage::Kind::Hello : DiscoveryMessage::Kind::Bye;
        DiscoveryTarget target;
        if (!readTarget(t, payload, &target))
            return false;
        message.targets.append(target);
    } else {
        return false;
    }
    *out = message;
    return true;
}

} // namespace Onvif::DiscoveryMessages
