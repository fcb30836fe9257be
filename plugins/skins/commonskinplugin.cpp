#include "plugins/skins/commonskinplugin.h"

QStringList CommonSkinPlugin::skinNames() const
{
    return {QStringLiteral("CommonSkin")};
}
