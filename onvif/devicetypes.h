#pragma once

// Plain values of the device management service, as read from a device or
// sent to it. Texts are as the device gave them (trimmed); nothing is
// invented for what a device leaves out: absent lists are empty, absent
// texts empty, absent times invalid. Addresses that a device reports as
// empty or unspecified ("", "0.0.0.0", "::") are left out.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>
#include <QStringList>

#include <optional>

namespace Onvif {

struct DeviceInformation
{
    QString manufacturer;
    QString model;
    QString firmwareVersion;
    QString serialNumber;
    QString hardwareId;
};

struct PrefixedAddress
{
    QString address;
    int prefixLength = 0;
    bool operator==(const PrefixedAddress &o) const { return address == o.address && prefixLength == o.prefixLength; }
};

enum class IPv6Dhcp { Off, Auto, Stateful, Stateless };

struct IPv4Configuration
{
    bool enabled = false;
    bool dhcp = false;
    QList<PrefixedAddress> manual;
    QList<PrefixedAddress> linkLocal;
    QList<PrefixedAddress> fromDhcp;
};

struct IPv6Configuration
{
    bool enabled = false;
    bool acceptRouterAdvert = false;
    IPv6Dhcp dhcp = IPv6Dhcp::Off;
    QList<PrefixedAddress> manual;
    QList<PrefixedAddress> linkLocal;
    QList<PrefixedAddress> fromDhcp;
    QList<PrefixedAddress> fromRouterAdvert;
};

struct NetworkInterface
{
    QString token;  // what SetNetworkInterfaces names the interface by
    bool enabled = false;
    QString name;
    // Lower-case, colon-separated ("00:04:7d:0e:b8:5c") whatever the
    // device wrote; empty when the device gave none or not six bytes.
    QString hwAddress;
    int mtu = 0;
    std::optional<IPv4Configuration> ipv4;  // absent: the device reports no IPv4 block
    std::optional<IPv6Configuration> ipv6;  // absent: no IPv6 block (no IPv6 support to show)
};

// What SetNetworkInterfaces changes; an unset field is left out of the
// request, so the device keeps its value.
struct NetworkInterfaceSettings
{
    std::optional<bool> enabled;
    std::optional<int> mtu;
    std::optional<bool> ipv4Enabled;
    std::optional<bool> ipv4Dhcp;
    QList<PrefixedAddress> ipv4Manual;
    std::optional<bool> ipv6Enabled;
    std::optional<bool> ipv6AcceptRouterAdvert;
    std::optional<IPv6Dhcp> ipv6Dhcp;
    QList<PrefixedAddress> ipv6Manual;
};

struct NetworkGateway
{
    QStringList ipv4;
    QStringList ipv6;
};

struct DnsInformation
{
    bool fromDhcp = false;
    QStringList searchDomains;
    QStringList fromDhcpServers;  // IPv4 or IPv6 addresses
    QStringList manualServers;
};

struct NetworkProtocol
{
    QString name;  // "HTTP", "HTTPS", "RTSP"
    bool enabled = false;
    QList<int> ports;
};

struct HostnameInformation
{
    bool fromDhcp = false;
    QString name;
};

struct Scope
{
    bool fixed = false;  // ScopeDef Fixed, else Configurable
    QString item;        // "onvif://www.onvif.org/name/..."
};

enum class UserLevel { Administrator, Operator, User, Anonymous, Extended };

struct User
{
    QString username;
    UserLevel level = UserLevel::User;
};

// A user to create or change: the password goes to the device only.
struct UserCredentials
{
    QString username;
    QString password;
    UserLevel level = UserLevel::User;
};

struct SystemDateTime
{
    QString dateTimeType;  // "Manual" or "NTP"
    bool daylightSavings = false;
    QString timeZone;  // the raw TZ string; not always valid POSIX
    QDateTime utc;     // Qt::UTC; invalid when the device sent none or a bad one
    QDateTime local;   // as the device shows it, without a zone; invalid when absent
};

// The first enabled HTTP port in the list, or 0.
int httpPort(const QList<NetworkProtocol> &protocols);
// The same for HTTPS.
int httpsPort(const QList<NetworkProtocol> &protocols);
// The service address over HTTPS on `port`, the same host and path;
// invalid for no port.
QUrl secureAddress(const QUrl &service, int port);

// Scope helpers: the values of every onvif://www.onvif.org/<category>/...
// scope, percent-decoded ("name" -> {"Front Door"}).
QStringList scopeValues(const QStringList &scopes, QStringView category);
// Whether the scopes mark a device that has no user yet: Profile Q's
// "onvif://www.onvif.org/Profile/Q/FactoryDefault" (also without "Profile/Q/").
bool isFactoryDefault(const QStringList &scopes);

QString userLevelName(UserLevel level);
std::optional<UserLevel> userLevelFromName(QStringView name);

} // namespace Onvif
