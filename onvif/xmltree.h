#pragma once

// A small, bounded element tree of one XML message (a SOAP answer or a
// discovery datagram), read with QXmlStreamReader. Elements are found by
// namespace URI and local name; the prefixes a sender chose play no part
// except in QName values (WS-Discovery Types, SOAP fault codes), which
// resolveQName() reads against the declarations in scope.
//
// The reader refuses, before building anything from them: more bytes than
// the limit, elements nested deeper than the limit, more elements than the
// limit, any DTD (so no entity declaration is ever expanded), and input
// that is not well-formed. Any thread; a tree is a value.

#include <QList>
#include <QString>

class QByteArray;

namespace Onvif {

struct XmlLimits
{
    qsizetype maxBytes = 256 * 1024;
    int maxDepth = 32;
    int maxElements = 20000;
};

class XmlTree final
{
public:
    enum class Status { Ok, Empty, TooLarge, TooDeep, TooManyElements, Dtd, NotWellFormed };

    struct Attribute
    {
        QString ns;
        QString name;
        QString value;
    };
    struct Node
    {
        QString ns;
        QString name;
        QString text;  // character data directly inside, untrimmed
        int parent = -1;
        QList<int> children;
        QList<Attribute> attributes;
        // Declarations made on this element: (prefix, URI); "" is the default.
        QList<QPair<QString, QString>> namespaces;
    };

    XmlTree() = default;
    // Never throws; a refused input gives a tree with status() != Ok and no
    // nodes.
    static XmlTree parse(const QByteArray &data, const XmlLimits &limits = XmlLimits());

    Status status() const { return m_status; }
    bool isValid() const { return m_status == Status::Ok; }
    // For logs: the reader's message for NotWellFormed, else the status.
    QString errorText() const { return m_errorText; }

    // The document element, or -1.
    int root() const { return m_nodes.isEmpty() ? -1 : 0; }
    const Node &node(int index) const { return m_nodes.at(index); }
    qsizetype size() const { return m_nodes.size(); }

    // Whether node is the element {ns}name. False for -1.
    bool is(int node, QStringView ns, QStringView name) const;
    // The first child element {ns}name of parent, or -1 (also for parent -1).
    int child(int parent, QStringView ns, QStringView name) const;
    // Every child element {ns}name of parent, in document order.
    QList<int> children(int parent, QStringView ns, QStringView name) const;
    // The first child element whatever its name, or -1.
    int firstChild(int parent) const;
    // The element's text with leading and trailing white space removed;
    // empty for -1.
    QString text(int node) const;
    QString childText(int parent, QStringView ns, QStringView name) const { return text(child(parent, ns, name)); }
    // The attribute {ns}name (ns empty: an unqualified one), or a null string.
    QString attribute(int node, QStringView ns, QStringView name) const;

    // Resolves "prefix:local" (or "local", against the default namespace)
    // with the declarations in scope at node. False when the prefix is not
    // declared there.
    bool resolveQName(int node, QStringView qname, QString *ns, QString *local) const;

private:
    QList<Node> m_nodes;
    Status m_status = Status::Empty;
    QString m_errorText;
};

// Reads "true"/"false"/"1"/"0" as xs:boolean does, after trimming; fallback
// for anything else.
bool xmlBoolean(const QString &text, bool fallback = false);

} // namespace Onvif
