#pragma once

#include <QDomDocument>
#include <QDomElement>
#include <QString>

namespace TarnGUIToolkit {

// A read-only view of one element of an XML document and its child
// elements. Copies are cheap and share the document, which lives as long as
// any copy. A default-constructed or not-found CGenericDS is null: it has
// no name, no value and no children. GUI-free; one thread at a time.
class CGenericDS final
{
public:
    CGenericDS() = default;

    // Parses the file and makes this the document's root element. Returns
    // false, leaving this unchanged, when the file cannot be read, is larger
    // than kMaxFileSize, is not well-formed XML or has no root element.
    bool LoadXML(const QString &path);

    bool IsNull() const { return m_element.isNull(); }
    // Child elements only: text, comments and processing instructions are
    // not children.
    int GetChildrenCount() const;
    // The child element at index, in document order; null when out of range.
    // Walking the children by rising index costs one step per call.
    CGenericDS GetChild(int index) const;
    // The first child element with this exact (case-sensitive) name, or null.
    CGenericDS GetChildByName(const QString &name) const;
    // The element's tag name.
    QString GetName() const;
    // The element's text (the concatenated text of its descendants).
    QString GetValue() const;

    // Settings and column files are a few kilobytes; anything this big is
    // not one of ours and is refused rather than read into memory.
    static constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

private:
    explicit CGenericDS(const QDomDocument &document, const QDomElement &element);

    QDomDocument m_document;
    QDomElement m_element;
    // The child GetChild() returned last, so that a loop over all children
    // does not walk the sibling list from the start each time.
    mutable QDomElement m_cursor;
    mutable int m_cursorIndex = -1;
};

} // namespace TarnGUIToolkit
