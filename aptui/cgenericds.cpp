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
    if (file.size() > kMaxFileSize) {
        qCWarning(lcAptui).noquote() << "[CGenericDS] refusing oversized file" << path << file.size();
        return false;
    }
    QDomDocument document;
    QString error;
    int line = 0;
    int column = 0;
    if (!document.setContent(file.readAll(), &error, &line, &column)) {
        qCWarning(lcAptui).noquote() << "[CGenericDS] malformed XML" << path << "line" << line << "column"
                                     << column << error;
        return false;
    }
    const QDomElement root = document.documentElement();
    if (root.isNull())
        return false;
    m_document = document;
    m_element = root;
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
    QDomElement child = m_element.firstChildElement();
    for (int i = 0; i < index && !child.isNull(); ++i)
        child = child.nextSiblingElement();
    return child.isNull() ? CGenericDS() : CGenericDS(m_document, child);
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
