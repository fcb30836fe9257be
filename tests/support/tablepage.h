#pragma once

#include "devicelist/devicedisplaypage.h"
#include "discovery/voskhandler.h"

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

namespace TestSupport {

// A device table page inside `host`, on its own copy of the shipped column
// layout in `dir` (writable, as a user's copy is), taking the discovery
// handler's reports one call each. Null when the layout could not be
// copied; the caller checks.
inline VoskTool::DeviceDisplayPage *listeningTablePage(const QTemporaryDir &dir, const QString &shippedConfig,
                                                       QWidget *host)
{
    const QString config = dir.filePath(QStringLiteral("ColumnConfig.xml"));
    if (!QFile::copy(shippedConfig, config))
        return nullptr;
    QFile::setPermissions(config, QFile::ReadOwner | QFile::WriteOwner);
    auto *page = new VoskTool::DeviceDisplayPage(config, host);
    VOSK::registerMetaTypes();
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    QObject::connect(handler, &VOSK::VoskHandler::signalDeviceOnline, page,
                     &VoskTool::DeviceDisplayPage::onDeviceLogin);
    QObject::connect(handler, &VOSK::VoskHandler::signalDeviceUpdate, page,
                     &VoskTool::DeviceDisplayPage::onDeviceUpdate);
    QObject::connect(handler, &VOSK::VoskHandler::signalDeviceOffline, page,
                     &VoskTool::DeviceDisplayPage::onDeviceLogout);
    return page;
}

} // namespace TestSupport
