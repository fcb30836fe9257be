#pragma once

#include <QString>

namespace apt {

// One setting of Setup.xml: the element name and the text of its "Value".
class Configure
{
public:
    Configure(const QString &name, const QString &value)
        : m_name(name)
        , m_value(value)
    {
    }
    virtual ~Configure() = default;

    const QString &name() const { return m_name; }
    const QString &value() const { return m_value; }

private:
    QString m_name;
    QString m_value;
};

} // namespace apt
