#include "aptui/cgenericds.h"

#include "aptui/aptuilog.h"

#include <QFile>

namespace TarnGUIToolkit {

CGenericDS::CGenericDS(const QDomDocument &document, const QDomElement &element)
    : m_document(document)
    , m_element(element)
{
}

bool CGenericDS::LoadXML(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcAptui).noquote() << "[CGenericDS] cannot open" << path << file.errorString();
        return false;
    }
    // Read one byte past the limit rather than trust size(): a pipe or a
    // device reports 0 and would otherwise be read without end.
    const QByteArray content = file.read(kMaxFileSize + 1);
    if (content.size() > kMaxFileSize) {
        qCWarning(lcAptui).noquote() << "[CGenericDS] refusing oversized file" << path;
        return false;
    }
    QDomDocument document;
    QString error;
    int line = 0;
    int column = 0;
    if (!document.setContent(content, &error, &line, &column)) {
        qCWarning(lcAptui).noquote() << "[CGenericDS] malformed XML" << path << "line" << line << "column"
                                     << column << error;
        return false;
    }
    const QDomElement root = document.documentElement();
    if (root.isNull())
        return false;
    m_document = document;
    m_element = root;
    m_cursor = QDomElement();
    m_cursorIndex = -1;
    return true;
}

int CGenericDS::GetChildrenCount() const
{
    int count = 0;
    for (QDomElement child = m_element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
        ++count;
    return count;
}

CGenericDS CGenericDS::GetChild(int index) const
{
    if (index < 0)
        return CGenericDS();
    int i = 0;
    QDomElement child = m_element.firstChildElement();
    if (m_cursorIndex >= 0 && m_cursorIndex <= index) {
        i = m_cursorIndex;
        child = m_cursor;
    }
    for (; i < index && !child.isNull(); ++i)
        child = child.nextSiblingElement();
    if (child.isNull())
        return CGenericDS();
    m_cursor = child;
    m_cursorIndex = index;
    return CGenericDS(m_document, child);
}

CGenericDS CGenericDS::GetChildByName(const QString &name) const
{
    const QDomElement child = m_element.firstChildElement(name);
    return child.isNull() ? CGenericDS() : CGenericDS(m_document, child);
}

QString CGenericDS::GetName() const
{
    return m_element.tagName();
}

QString CGenericDS::GetValue() const
{
    return m_element.text();
}

} // namespace TarnGUIToolkit
