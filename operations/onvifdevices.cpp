#include "operations/onvifdevices.h"

#include <QPointer>

// A first cut that keeps the contract and lists nothing: discovery and
// sign-in are filled in with the ONVIF device kind.

namespace VoskTool {

namespace {
QPointer<OnvifDevices> g_instance;
} // namespace

OnvifDevices::OnvifDevices(QObject *parent)
    : QObject(parent)
{
    g_instance = this;
}

OnvifDevices::~OnvifDevices() = default;

OnvifDevices *OnvifDevices::instance()
{
    return g_instance.data();
}

bool OnvifDevices::start()
{
    return false;
}

void OnvifDevices::stop() {}

void OnvifDevices::probe() {}

bool OnvifDevices::probeAddresses(const QList<QHostAddress> &)
{
    return false;
}

void OnvifDevices::setCredentials(const OnvifCredentials &) {}

void OnvifDevices::setCredentials(const DeviceKey &, const OnvifCredentials &) {}

void OnvifDevices::signIn(const QVector<DeviceKey> &)
{
    Q_EMIT signInDone();
}

bool OnvifDevices::target(const DeviceKey &, OnvifTarget *) const
{
    return false;
}

} // namespace VoskTool
