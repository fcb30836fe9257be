#pragma once

#include <QStylePlugin>

class CommonStylePlugin final : public QStylePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "commonstyle.json")

public:
    // A CommonStyle for the key "CommonStyle" in any letter case, else null.
    QStyle *create(const QString &key) override;
};
