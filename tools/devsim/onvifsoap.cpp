#include "tools/devsim/onvifsoap.h"

#include <QXmlStreamReader>

namespace VoskSim {

const QString OnvifSoap::kEnvelope = QStringLiteral("http://www.w3.org/2003/05/soap-envelope");
const QString OnvifSoap::kEnvelope11 = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
const QString OnvifSoap::kAddressing = QStringLiteral("http://schemas.xmlsoap.org/ws/2004/08/addressing");
const QString OnvifSoap::kAddressing10 = QStringLiteral("http://www.w3.org/2005/08/addressing");
const QString OnvifSoap::kDiscovery = QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery");
const QString OnvifSoap::kDevice = QStringLiteral("http://www.onvif.org/ver10/device/wsdl");
const QString OnvifSoap::kMedia = QStringLiteral("http://www.onvif.org/ver10/media/wsdl");
const QString OnvifSoap::kSchema = QStringLiteral("http://www.onvif.org/ver10/schema");
const QString OnvifSoap::kError = QStringLiteral("http://www.onvif.org/ver10/error");
const QString OnvifSoap::kNetwork = QStringLiteral("http://www.onvif.org/ver10/network/wsdl");
const QString OnvifSoap::kSecurity =
    QStringLiteral("http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd");
const QString OnvifSoap::kUtility =
    QStringLiteral("http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd");

const OnvifSoap::Element *OnvifSoap::Element::child(const QString &uri, QStringView local) const
{
    for (const Element &c : children) {
        if (c.is(uri, local))
            return &c;
    }
    return nullptr;
}

std::vector<const OnvifSoap::Element *> OnvifSoap::Element::childrenNamed(const QString &uri,
                                                                          QStringView local) const
{
    std::vector<const Element *> found;
    for (const Element &c : children) {
        if (c.is(uri, local))
            found.push_back(&c);
    }
    return found;
}

QString OnvifSoap::Element::childText(const QString &uri, QStringView local) const
{
    const Element *c = child(uri, local);
    return c ? c->text.trimmed() : QString();
}

QString OnvifSoap::Element::attribute(const QString &uri, QStringView local) const
{
    for (const QXmlStreamAttribute &a : attributes) {
        if (a.namespaceUri() == uri && a.name() == local)
            return a.value().toString();
    }
    return QString();
}

bool OnvifSoap::Element::resolveQName(QStringView qname, QString &uri, QString &local) const
{
    const qsizetype colon = qname.indexOf(QLatin1Char(':'));
    const QString prefix = colon < 0 ? QString() : qname.left(colon).toString();
    local = (colon < 0 ? qname : qname.mid(colon + 1)).toString();
    if (local.isEmpty() || !scope)
        return false;
    const auto it = scope->constFind(prefix);
    if (it == scope->constEnd()) {
        // No default namespace declared: an unprefixed name has none.
        uri.clear();
        return prefix.isEmpty();
    }
    uri = it.value();
    return true;
}

OnvifSoap::ParseError OnvifSoap::parse(const QByteArray &xml, Message &out)
{
    out = Message();
    if (xml.size() > kMaxBytes)
        return ParseError::TooLarge;
    QXmlStreamReader reader(xml);
    std::vector<Element> stack;
    Element root;
    bool haveRoot = false;
    int elements = 0;
    auto emptyScope = std::make_shared<const QHash<QString, QString>>();
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        // Qt would expand entities declared in an internal subset: the DTD
        // is refused as its token arrives, before any entity is used.
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
        case QXmlStreamReader::ProcessingInstruction:
            return ParseError::Forbidden;
        case QXmlStreamReader::StartElement: {
            if (int(stack.size()) >= kMaxDepth || ++elements > kMaxElements)
                return ParseError::TooLarge;
            Element e;
            e.ns = reader.namespaceUri().toString();
            e.name = reader.name().toString();
            e.attributes = reader.attributes();
            const auto &parentScope = stack.empty() ? emptyScope : stack.back().scope;
            const QXmlStreamNamespaceDeclarations declarations = reader.namespaceDeclarations();
            if (declarations.isEmpty()) {
                e.scope = parentScope;
            } else {
                auto scope = std::make_shared<QHash<QString, QString>>(*parentScope);
                for (const QXmlStreamNamespaceDeclaration &d : declarations)
                    scope->insert(d.prefix().toString(), d.namespaceUri().toString());
                e.scope = std::move(scope);
            }
            stack.push_back(std::move(e));
            break;
        }
        case QXmlStreamReader::Characters:
            if (!stack.empty())
                stack.back().text += reader.text();
            break;
        case QXmlStreamReader::EndElement: {
            Element done = std::move(stack.back());
            stack.pop_back();
            if (stack.empty()) {
                root = std::move(done);
                haveRoot = true;
            } else {
                stack.back().children.push_back(std::move(done));
            }
            break;
        }
        default:
            break;
        }
    }
    if (reader.hasError() || !haveRoot)
        return ParseError::NotWellFormed;
    if (root.is(kEnvelope11, u"Envelope"))
        return ParseError::VersionMismatch;
    if (!root.is(kEnvelope, u"Envelope"))
        return ParseError::NotEnvelope;
    const Element *body = root.child(kEnvelope, u"Body");
    if (!body)
        return ParseError::NotEnvelope;
    if (const Element *header = root.child(kEnvelope, u"Header"))
        out.header = *header;
    if (!body->children.empty())
        out.payload = body->children.front();
    return ParseError::None;
}

OnvifSoap::Writer::Writer()
    : m_xml(&m_buffer)
{
    m_xml.writeStartDocument();
    m_xml.writeNamespace(kEnvelope, QStringLiteral("env"));
    m_xml.writeNamespace(kAddressing, QStringLiteral("wsa"));
    m_xml.writeNamespace(kDiscovery, QStringLiteral("d"));
    m_xml.writeNamespace(kNetwork, QStringLiteral("dn"));
    m_xml.writeNamespace(kDevice, QStringLiteral("tds"));
    m_xml.writeNamespace(kMedia, QStringLiteral("trt"));
    m_xml.writeNamespace(kSchema, QStringLiteral("tt"));
    m_xml.writeNamespace(kError, QStringLiteral("ter"));
    m_xml.writeStartElement(kEnvelope, QStringLiteral("Envelope"));
}

void OnvifSoap::Writer::beginHeader()
{
    if (m_inHeader || m_inBody)
        return;
    m_xml.writeStartElement(kEnvelope, QStringLiteral("Header"));
    m_inHeader = true;
}

void OnvifSoap::Writer::beginBody()
{
    if (m_inBody)
        return;
    if (m_inHeader)
        m_xml.writeEndElement();
    m_inHeader = false;
    m_xml.writeStartElement(kEnvelope, QStringLiteral("Body"));
    m_inBody = true;
}

void OnvifSoap::Writer::element(const QString &ns, const QString &name, const QString &text)
{
    m_xml.writeTextElement(ns, name, text);
}

QByteArray OnvifSoap::Writer::finish()
{
    beginBody();
    m_xml.writeEndDocument();
    return m_buffer;
}

QByteArray OnvifSoap::fault(const QString &code, const QStringList &subcodes, const QString &reason)
{
    Writer w;
    w.beginBody();
    QXmlStreamWriter &x = w.xml();
    x.writeStartElement(kEnvelope, QStringLiteral("Fault"));
    x.writeStartElement(kEnvelope, QStringLiteral("Code"));
    x.writeTextElement(kEnvelope, QStringLiteral("Value"), QStringLiteral("env:") + code);
    for (const QString &subcode : subcodes) {
        x.writeStartElement(kEnvelope, QStringLiteral("Subcode"));
        x.writeTextElement(kEnvelope, QStringLiteral("Value"), QStringLiteral("ter:") + subcode);
    }
    for (qsizetype i = 0; i < subcodes.size(); ++i)
        x.writeEndElement();
    x.writeEndElement();  // Code
    x.writeStartElement(kEnvelope, QStringLiteral("Reason"));
    x.writeStartElement(kEnvelope, QStringLiteral("Text"));
    x.writeAttribute(QStringLiteral("xml:lang"), QStringLiteral("en"));
    x.writeCharacters(reason);
    x.writeEndElement();
    x.writeEndElement();  // Reason
    x.writeEndElement();  // Fault
    return w.finish();
}

} // namespace VoskSim
