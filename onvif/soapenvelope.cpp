#include "onvif/soapenvelope.h"

#include "onvif/namespaces.h"

#include <QXmlStreamWriter>

namespace Onvif {

namespace {

QString localName(const XmlTree &tree, int node, const QString &qname)
{
    QString ns;
    QString local;
    if (tree.resolveQName(node, qname, &ns, &local))
        return local;
    // An undeclared prefix on a fault code still names the code; devices
    // are not consistent enough to refuse the fault for it.
    const qsizetype colon = qname.indexOf(u':');
    return colon < 0 ? qname.trimmed() : qname.mid(colon + 1).trimmed();
}

} // namespace

QByteArray SoapEnvelope::write(const ElementWriter &header, const ElementWriter &body)
{
    QByteArray out;
    QXmlStreamWriter writer(&out);
    writer.writeStartDocument();
    writer.writeNamespace(Ns::Soap.toString(), QStringLiteral("s"));
    writer.writeNamespace(Ns::Device.toString(), QStringLiteral("tds"));
    writer.writeNamespace(Ns::Schema.toString(), QStringLiteral("tt"));
    writer.writeNamespace(Ns::Addressing.toString(), QStringLiteral("a"));
    writer.writeNamespace(Ns::Discovery.toString(), QStringLiteral("d"));
    writer.writeNamespace(Ns::Network.toString(), QStringLiteral("dn"));
    writer.writeStartElement(Ns::Soap.toString(), QStringLiteral("Envelope"));
    if (header) {
        writer.writeStartElement(Ns::Soap.toString(), QStringLiteral("Header"));
        header(writer);
        writer.writeEndElement();
    }
    writer.writeStartElement(Ns::Soap.toString(), QStringLiteral("Body"));
    if (body)
        body(writer);
    writer.writeEndElement();
    writer.writeEndElement();
    writer.writeEndDocument();
    return out;
}

SoapEnvelope SoapEnvelope::read(const QByteArray &data, const XmlLimits &limits)
{
    SoapEnvelope envelope;
    envelope.m_tree = XmlTree::parse(data, limits);
    const XmlTree &tree = envelope.m_tree;
    if (!tree.isValid()) {
        envelope.m_error = Error::make(ErrorKind::BadAnswer, tree.errorText());
        return envelope;
    }
    const int root = tree.root();
    if (!tree.is(root, Ns::Soap, u"Envelope")) {
        const XmlTree::Node &n = tree.node(root);
        envelope.m_error = Error::make(ErrorKind::BadAnswer,
                                       QStringLiteral("not a SOAP 1.2 envelope: {%1}%2").arg(n.ns, n.name));
        envelope.m_tree = XmlTree();
        return envelope;
    }
    envelope.m_header = tree.child(root, Ns::Soap, u"Header");
    envelope.m_body = tree.child(root, Ns::Soap, u"Body");
    if (envelope.m_body < 0) {
        envelope.m_error = Error::make(ErrorKind::BadAnswer, QStringLiteral("envelope without a Body"));
        envelope.m_tree = XmlTree();
        return envelope;
    }
    envelope.m_payload = tree.firstChild(envelope.m_body);
    if (!tree.is(envelope.m_payload, Ns::Soap, u"Fault"))
        return envelope;

    const int fault = envelope.m_payload;
    int code = tree.child(fault, Ns::Soap, u"Code");
    const int value = tree.child(code, Ns::Soap, u"Value");
    const QString codeName = localName(tree, value, tree.text(value));
    QStringList subcodes;
    // Subcodes nest; the schema sets no bound, the tree's depth limit does.
    for (int sub = tree.child(code, Ns::Soap, u"Subcode"); sub >= 0; sub = tree.child(sub, Ns::Soap, u"Subcode")) {
        const int subValue = tree.child(sub, Ns::Soap, u"Value");
        subcodes.append(localName(tree, subValue, tree.text(subValue)));
    }
    const int reason = tree.child(fault, Ns::Soap, u"Reason");
    const QList<int> texts = tree.children(reason, Ns::Soap, u"Text");
    QString reasonText = texts.isEmpty() ? QString() : tree.text(texts.constFirst());
    // The English text where several languages are given.
    for (const int t : texts) {
        if (tree.attribute(t, u"http://www.w3.org/XML/1998/namespace", u"lang").startsWith(QLatin1String("en"))) {
            reasonText = tree.text(t);
            break;
        }
    }
    envelope.m_fault = true;
    envelope.m_error = faultError(codeName, subcodes, reasonText);
    return envelope;
}

Error faultError(const QString &code, const QStringList &subcodes, const QString &reason)
{
    Error error;
    error.code = code;
    error.subcodes = subcodes;
    error.reason = reason;
    auto has = [&subcodes](const char *name) { return subcodes.contains(QLatin1String(name)); };
    if (has("NotAuthorized")) {
        error.kind = ErrorKind::NotAuthorized;
    } else if (has("ActionNotSupported") || has("NotImplemented")) {
        error.kind = ErrorKind::NotSupported;
    } else if (has("InvalidArgVal") || has("InvalidArgs") || has("OperationProhibited")) {
        error.kind = ErrorKind::InvalidArgument;
    } else if (code == QLatin1String("Sender") || code == QLatin1String("MustUnderstand")
               || code == QLatin1String("VersionMismatch") || code == QLatin1String("DataEncodingUnknown")) {
        // Some firmware says "not implemented" only in words, on a plain
        // Sender fault (with HTTP 400).
        error.kind = subcodes.isEmpty() && reason.contains(QLatin1String("not implemented"), Qt::CaseInsensitive)
            ? ErrorKind::NotSupported
            : ErrorKind::SenderFault;
    } else {
        // Receiver, and the codes devices misspell ("Reveiver").
        error.kind = ErrorKind::ReceiverFault;
    }
    return error;
}

} // namespace Onvif
