#pragma once

#include "app/iskinplugin.h"

#include <QObject>

// The tool's standard skin. Its images and style sheets are compiled into
// the program; loading this library is what selects the skin.
class CommonSkinPlugin final : public QObject, public ISkinPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ISkinPlugin_iid FILE "commonskin.json")
    Q_INTERFACES(ISkinPlugin)

public:
    QStringList skinNames() const override;
};
