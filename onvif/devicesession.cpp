#include "onvif/devicesession.h"

#include <QEventLoop>
#include <QNetworkAccessManager>

namespace Onvif {

DeviceSession::DeviceSession(const QUrl &serviceAddress, const QString &username, const QString &password,
                             int timeoutMs)
    : m_network(DeviceClient::makeNetworkManager())
    , m_client(std::make_unique<DeviceClient>(serviceAddress, m_network.get()))
{
    m_client->setTimeout(timeoutMs);
    if (!username.isEmpty())
        m_client->setCredentials(username, password);
}

// The client first: it aborts what is in flight on the manager.
DeviceSession::~DeviceSession()
{
    m_client.reset();
    m_network.reset();
}

template <typename T>
Result<T> DeviceSession::wait(const std::function<void(DeviceClient::Callback<T>)> &start)
{
    Result<T> result;
    bool done = false;
    QEventLoop loop;
    start([&](const Result<T> &r) {
        result = r;
        done = true;
        loop.quit();
    });
    // The client never calls back from inside the call, so the loop is
    // always entered; every exchange's time-out ends it at the latest.
    if (!done)
        loop.exec();
    return result;
}

Result<SystemDateTime> DeviceSession::getSystemDateAndTime()
{
    return wait<SystemDateTime>([this](auto done) { m_client->getSystemDateAndTime(std::move(done)); });
}

Result<DeviceInformation> DeviceSession::getDeviceInformation()
{
    return wait<DeviceInformation>([this](auto done) { m_client->getDeviceInformation(std::move(done)); });
}

Result<QList<NetworkInterface>> DeviceSession::getNetworkInterfaces()
{
    return wait<QList<NetworkInterface>>([this](auto done) { m_client->getNetworkInterfaces(std::move(done)); });
}

Result<NetworkGateway> DeviceSession::getNetworkDefaultGateway()
{
    return wait<NetworkGateway>([this](auto done) { m_client->getNetworkDefaultGateway(std::move(done)); });
}

Result<DnsInformation> DeviceSession::getDns()
{
    return wait<DnsInformation>([this](auto done) { m_client->getDns(std::move(done)); });
}

Result<QList<NetworkProtocol>> DeviceSession::getNetworkProtocols()
{
    return wait<QList<NetworkProtocol>>([this](auto done) { m_client->getNetworkProtocols(std::move(done)); });
}

Result<HostnameInformation> DeviceSession::getHostname()
{
    return wait<HostnameInformation>([this](auto done) { m_client->getHostname(std::move(done)); });
}

Result<QList<Scope>> DeviceSession::getScopes()
{
    return wait<QList<Scope>>([this](auto done) { m_client->getScopes(std::move(done)); });
}

Result<QList<User>> DeviceSession::getUsers()
{
    return wait<QList<User>>([this](auto done) { m_client->getUsers(std::move(done)); });
}

Result<bool> DeviceSession::setNetworkInterfaces(const QString &interfaceToken, const NetworkInterfaceSettings &settings)
{
    return wait<bool>([&](auto done) { m_client->setNetworkInterfaces(interfaceToken, settings, std::move(done)); });
}

Result<NoValue> DeviceSession::setNetworkDefaultGateway(const NetworkGateway &gateway)
{
    return wait<NoValue>([&](auto done) { m_client->setNetworkDefaultGateway(gateway, std::move(done)); });
}

Result<NoValue> DeviceSession::setDns(const DnsInformation &dns)
{
    return wait<NoValue>([&](auto done) { m_client->setDns(dns, std::move(done)); });
}

Result<NoValue> DeviceSession::setNetworkProtocols(const QList<NetworkProtocol> &protocols)
{
    return wait<NoValue>([&](auto done) { m_client->setNetworkProtocols(protocols, std::move(done)); });
}

Result<NoValue> DeviceSession::createUsers(const QList<UserCredentials> &users)
{
    return wait<NoValue>([&](auto done) { m_client->createUsers(users, std::move(done)); });
}

Result<NoValue> DeviceSession::setUser(const QList<UserCredentials> &users)
{
    return wait<NoValue>([&](auto done) { m_client->setUser(users, std::move(done)); });
}

Result<QString> DeviceSession::systemReboot()
{
    return wait<QString>([this](auto done) { m_client->systemReboot(std::move(done)); });
}

} // namespace Onvif
