#include "onvif/xmltree.h"

#include <QByteArray>
#include <QXmlStreamReader>

namespace Onvif {

namespace {

QString statusText(XmlTree::Status status)
{
    switch (status) {
    case XmlTree::Status::Ok: return QString();
    case XmlTree::Status::Empty: return QStringLiteral("empty document");
    case XmlTree::Status::TooLarge: return QStringLiteral("message too large");
    case XmlTree::Status::TooDeep: return QStringLiteral("elements nested too deep");
    case XmlTree::Status::TooManyElements: return QStringLiteral("too many elements");
    case XmlTree::Status::Dtd: return QStringLiteral("document type declaration refused");
    case XmlTree::Status::NotWellFormed: return QStringLiteral("not well-formed");
    }
    return QString();
}

} // namespace

XmlTree XmlTree::parse(const QByteArray &data, const XmlLimits &limits)
{
    XmlTree tree;
    auto fail = [&tree](Status status, const QString &detail = QString()) {
        tree.m_nodes.clear();
        tree.m_status = status;
        tree.m_errorText = detail.isEmpty() ? statusText(status) : statusText(status) + QStringLiteral(": ") + detail;
        return tree;
    };
    if (data.size() > limits.maxBytes)
        return fail(Status::TooLarge);
    if (data.trimmed().isEmpty())
        return fail(Status::Empty);

    QXmlStreamReader reader(data);
    int current = -1;
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            return fail(Status::Dtd);
        case QXmlStreamReader::StartElement: {
            if (++depth > limits.maxDepth)
                return fail(Status::TooDeep);
            if (tree.m_nodes.size() >= limits.maxElements)
                return fail(Status::TooManyElements);
            if (current < 0 && !tree.m_nodes.isEmpty())
                return fail(Status::NotWellFormed, QStringLiteral("second document element"));
            Node node;
            node.ns = reader.namespaceUri().toString();
            node.name = reader.name().toString();
            node.parent = current;
            const QXmlStreamAttributes attributes = reader.attributes();
            node.attributes.reserve(attributes.size());
            for (const QXmlStreamAttribute &a : attributes)
                node.attributes.append({a.namespaceUri().toString(), a.name().toString(), a.value().toString()});
            const QXmlStreamNamespaceDeclarations declarations = reader.namespaceDeclarations();
            node.namespaces.reserve(declarations.size());
            for (const QXmlStreamNamespaceDeclaration &d : declarations)
                node.namespaces.append({d.prefix().toString(), d.namespaceUri().toString()});
            const int index = int(tree.m_nodes.size());
            tree.m_nodes.append(std::move(node));
            if (current >= 0)
                tree.m_nodes[current].children.append(index);
            current = index;
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            current = current >= 0 ? tree.m_nodes.at(current).parent : -1;
            break;
        case QXmlStreamReader::Characters:
            if (current >= 0)
                tree.m_nodes[current].text += reader.text();
            break;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        // A premature end is still "not well-formed" to the caller: a
        // truncated answer is no answer.
        return fail(Status::NotWellFormed, reader.errorString());
    }
    if (tree.m_nodes.isEmpty())
        return fail(Status::Empty);
    tree.m_status = Status::Ok;
    return tree;
}

bool XmlTree::is(int node, QStringView ns, QStringView name) const
{
    if (node < 0 || node >= m_nodes.size())
        return false;
    const Node &n = m_nodes.at(node);
    return n.name == name && n.ns == ns;
}

int XmlTree::child(int parent, QStringView ns, QStringView name) const
{
    if (parent < 0 || parent >= m_nodes.size())
        return -1;
    for (const int c : m_nodes.at(parent).children) {
        if (is(c, ns, name))
            return c;
    }
    return -1;
}

QList<int> XmlTree::children(int parent, QStringView ns, QStringView name) const
{
    QList<int> result;
    if (parent < 0 || parent >= m_nodes.size())
        return result;
    for (const int c : m_nodes.at(parent).children) {
        if (is(c, ns, name))
            result.append(c);
    }
    return result;
}

int XmlTree::firstChild(int parent) const
{
    if (parent < 0 || parent >= m_nodes.size() || m_nodes.at(parent).children.isEmpty())
        return -1;
    return m_nodes.at(parent).children.constFirst();
}

QString XmlTree::text(int node) const
{
    if (node < 0 || node >= m_nodes.size())
        return QString();
    return m_nodes.at(node).text.trimmed();
}

QString XmlTree::attribute(int node, QStringView ns, QStringView name) const
{
    if (node < 0 || node >= m_nodes.size())
        return QString();
    for (const Attribute &a : m_nodes.at(node).attributes) {
        if (a.name == name && a.ns == ns)
            return a.value;
    }
    return QString();
}

bool XmlTree::resolveQName(int node, QStringView qname, QString *ns, QString *local) const
{
    const QStringView trimmed = qname.trimmed();
    const qsizetype colon = trimmed.indexOf(u':');
    const QStringView prefix = colon < 0 ? QStringView() : trimmed.left(colon);
    const QStringView name = colon < 0 ? trimmed : trimmed.mid(colon + 1);
    if (name.isEmpty())
        return false;
    for (int at = node; at >= 0 && at < m_nodes.size(); at = m_nodes.at(at).parent) {
        for (const auto &declaration : m_nodes.at(at).namespaces) {
            if (declaration.first == prefix) {
                if (ns)
                    *ns = declaration.second;
                if (local)
                    *local = name.toString();
                return true;
            }
        }
    }
    // An unprefixed name outside any default namespace has none.
    if (prefix.isEmpty()) {
        if (ns)
            ns->clear();
        if (local)
            *local = name.toString();
        return true;
    }
    return false;
}

bool xmlBoolean(const QString &text, bool fallback)
{
    const QString t = text.trimmed();
    if (t == QLatin1String("true") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("0"))
        return false;
    return fallback;
}

} // namespace Onvif
