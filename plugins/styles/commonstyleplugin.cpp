#include "plugins/styles/commonstyleplugin.h"

#include "plugins/styles/commonstyle.h"

QStyle *CommonStylePlugin::create(const QString &key)
{
    if (key.compare(QLatin1String("CommonStyle"), Qt::CaseInsensitive) == 0)
        return new CommonStyle;
    return nullptr;
}
