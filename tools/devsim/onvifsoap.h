#pragma once

// SOAP 1.2 envelopes as the simulated ONVIF devices read and write them:
// a strict, bounded reader that keeps the envelope as a small element tree
// (elements named by namespace URI and local name, never by prefix) and a
// writer that declares the usual prefixes once on the envelope. No I/O.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QXmlStreamAttributes>
#include <QXmlStreamWriter>

#include <memory>
#include <vector>

namespace VoskSim {

class OnvifSoap final
{
public:
    // Namespaces used by the device service and WS-Discovery.
    static const QString kEnvelope;    // SOAP 1.2
    static const QString kEnvelope11;  // SOAP 1.1: answered with VersionMismatch
    static const QString kAddressing;  // WS-Addressing 2004/08 (WS-Discovery)
    static const QString kAddressing10;  // WS-Addressing 1.0 (2005/08)
    static const QString kDiscovery;   // WS-Discovery 2005/04
    static const QString kDevice;      // tds
    static const QString kSchema;      // tt
    static const QString kError;       // ter
    static const QString kNetwork;     // dn
    static const QString kMedia;       // trt
    static const QString kSecurity;    // wsse
    static const QString kUtility;     // wsu

    // Limits of what a message may hold; a message over one is refused
    // whole, before anything in it is acted on.
    static constexpr int kMaxBytes = 64 * 1024;
    static constexpr int kMaxDepth = 32;
    static constexpr int kMaxElements = 4096;

    struct Element
    {
        QString ns;
        QString name;
        QString text;  // character data directly inside, as written
        QXmlStreamAttributes attributes;
        std::vector<Element> children;
        // Prefix -> namespace URI in scope here ("" is the default
        // namespace), to resolve QName values such as a Probe's Types.
        std::shared_ptr<const QHash<QString, QString>> scope;

        bool is(const QString &uri, QStringView local) const { return ns == uri && name == local; }
        // The first child of that name, or nullptr.
        const Element *child(const QString &uri, QStringView local) const;
        std::vector<const Element *> childrenNamed(const QString &uri, QStringView local) const;
        // The trimmed text of the first child of that name; empty if none.
        QString childText(const QString &uri, QStringView local) const;
        // The value of an attribute by namespace and name ("" for none).
        QString attribute(const QString &uri, QStringView local) const;
        // "prefix:local" (or "local" in the default namespace) resolved
        // against the scope. False for an undeclared prefix.
        bool resolveQName(QStringView qname, QString &uri, QString &local) const;
    };

    struct Message
    {
        Element header;   // env:Header (empty name when there is none)
        Element payload;  // the first child of env:Body (empty name when Body is empty)
    };

    enum class ParseError {
        None,
        NotWellFormed,
        TooLarge,    // over kMaxBytes, kMaxDepth or kMaxElements
        Forbidden,   // a DTD, an entity reference or a processing instruction
        NotEnvelope, // the root is not a SOAP envelope, or there is no Body
        VersionMismatch,  // a SOAP 1.1 envelope
    };

    // Reads one envelope. SOAP forbids DTDs and processing instructions,
    // so any is refused instead of being expanded.
    static ParseError parse(const QByteArray &xml, Message &out);

    // Writes an envelope with the prefixes env, wsa (2004/08), d, dn, tds,
    // trt, tt and ter declared on the root. beginBody() closes the header if one
    // was begun; finish() closes what is open and returns the document.
    class Writer final
    {
    public:
        Writer();
        QXmlStreamWriter &xml() { return m_xml; }
        void beginHeader();
        void beginBody();
        // <ns:name>text</ns:name>
        void element(const QString &ns, const QString &name, const QString &text);
        QByteArray finish();

    private:
        QByteArray m_buffer;
        QXmlStreamWriter m_xml;
        bool m_inHeader = false;
        bool m_inBody = false;
    };

    // A whole fault envelope. code is a SOAP 1.2 code's local name
    // (Sender, Receiver, VersionMismatch, MustUnderstand); subcodes are
    // local names in the ONVIF error namespace (ter), outermost first.
    static QByteArray fault(const QString &code, const QStringList &subcodes, const QString &reason);
};

} // namespace VoskSim
