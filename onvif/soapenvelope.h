#pragma once

// SOAP 1.2 envelopes: written with QXmlStreamWriter, read into a bounded
// XmlTree. Reading checks that the document element is a SOAP 1.2
// Envelope (a SOAP 1.1 or foreign one is refused), finds its Header and
// Body, and turns a Fault into a typed Error. Any thread; values only.

#include "onvif/error.h"
#include "onvif/xmltree.h"

#include <QByteArray>

#include <functional>

class QXmlStreamWriter;

namespace Onvif {

// Writes elements into an envelope being written (header entries, or the
// body's one element).
using ElementWriter = std::function<void(QXmlStreamWriter &writer)>;

class SoapEnvelope final
{
public:
    // A UTF-8 envelope with the prefixes s (SOAP 1.2), tds, tt and, for
    // discovery, d, a and dn declared on it. No Header element when header
    // is empty.
    static QByteArray write(const ElementWriter &header, const ElementWriter &body);

    // Reads an answer. Never throws. isValid() is false, and error() says
    // BadAnswer with the reason, for anything but a SOAP 1.2 envelope with
    // a Body within the limits.
    static SoapEnvelope read(const QByteArray &data, const XmlLimits &limits = XmlLimits());

    bool isValid() const { return m_error.isOk() || m_fault; }
    // BadAnswer when the message is refused; the fault's error when the
    // Body holds a Fault; None otherwise.
    const Error &error() const { return m_error; }
    bool isFault() const { return m_fault; }

    const XmlTree &tree() const { return m_tree; }
    int header() const { return m_header; }  // -1: none
    int body() const { return m_body; }
    // The Body's first element (the answer or the Fault), -1 for an empty Body.
    int payload() const { return m_payload; }

private:
    XmlTree m_tree;
    Error m_error;
    bool m_fault = false;
    int m_header = -1;
    int m_body = -1;
    int m_payload = -1;
};

// The Error a fault with this Code value, Subcode chain (local names) and
// Reason text stands for.
Error faultError(const QString &code, const QStringList &subcodes, const QString &reason);

} // namespace Onvif
