#pragma once

#include <QStringList>
#include <QtPlugin>

// What a skin plug-in offers: the names of the skins it provides. A skin
// takes effect by its library being loaded (its resources register
// themselves); start-up looks for the plug-in that names the configured
// skin.
class ISkinPlugin
{
public:
    virtual ~ISkinPlugin() = default;
    // The skin names, compared case-sensitively.
    virtual QStringList skinNames() const = 0;
};

#define ISkinPlugin_iid "com.ISkinPlugin/1.1"
Q_DECLARE_INTERFACE(ISkinPlugin, ISkinPlugin_iid)
