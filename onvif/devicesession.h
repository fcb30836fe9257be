#pragma once

// Blocking calls to one device, for code that runs on a worker thread or
// a thread pool without an event loop of its own (the operations a device
// kind offers block until the device has answered). A session is a
// DeviceClient with a network manager of its own on the calling thread;
// each call runs the client's asynchronous call in a local event loop and
// returns its result. Within one session the device's clock is read once
// and a Digest challenge is answered once, as with the client.
//
// Make, use and destroy a session on one thread; several sessions on
// several threads at once are independent. Not for the GUI thread: the
// local loop would let the window's events run inside the call. Every call
// ends within the time-out (a few exchanges at most: the clock, a Digest
// challenge, the call itself).

#include "onvif/deviceclient.h"

#include <memory>

class QNetworkAccessManager;

namespace Onvif {

class DeviceSession final
{
public:
    // Anonymous when username is empty. timeoutMs: per HTTP exchange.
    DeviceSession(const QUrl &serviceAddress, const QString &username, const QString &password, int timeoutMs = 5000);
    ~DeviceSession();
    DeviceSession(const DeviceSession &) = delete;
    DeviceSession &operator=(const DeviceSession &) = delete;

    // The client behind the calls: its address, clock and scheme.
    DeviceClient &client() { return *m_client; }

    Result<SystemDateTime> getSystemDateAndTime();
    Result<DeviceInformation> getDeviceInformation();
    Result<QList<NetworkInterface>> getNetworkInterfaces();
    Result<NetworkGateway> getNetworkDefaultGateway();
    Result<DnsInformation> getDns();
    Result<QList<NetworkProtocol>> getNetworkProtocols();
    Result<HostnameInformation> getHostname();
    Result<QList<Scope>> getScopes();
    Result<QList<User>> getUsers();
    Result<bool> setNetworkInterfaces(const QString &interfaceToken, const NetworkInterfaceSettings &settings);
    Result<NoValue> setNetworkDefaultGateway(const NetworkGateway &gateway);
    Result<NoValue> setDns(const DnsInformation &dns);
    Result<NoValue> setNetworkProtocols(const QList<NetworkProtocol> &protocols);
    Result<NoValue> createUsers(const QList<UserCredentials> &users);
    Result<NoValue> setUser(const QList<UserCredentials> &users);
    Result<QString> systemReboot();

private:
    template <typename T>
    Result<T> wait(const std::function<void(DeviceClient::Callback<T>)> &start);

    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<DeviceClient> m_client;
};

} // namespace Onvif
