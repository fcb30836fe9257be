#pragma once

// One simulated ONVIF device: its identity, network settings, users and
// clock, and the device side of the device management service (SOAP 1.2
// request in, HTTP status and SOAP answer out) and of WS-Discovery (Probe
// in, ProbeMatches out; Hello and Bye). No I/O: the server feeds it
// requests with the time and carries out what a reply asks for afterwards
// (moving to a new address, rebooting). Passwords are kept as given: both
// HTTP digest and WS-UsernameToken digests need them, and none is ever
// written to a log. Not thread-safe: one thread uses a device at a time
// (the server's).

#include "tools/devsim/httpdigest.h"
#include "tools/devsim/onvifbehaviour.h"
#include "tools/devsim/onvifsoap.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

namespace VoskSim {

class OnvifDevice final
{
public:
    // How far a UsernameToken's Created may lie from the device's clock.
    static constexpr qint64 kCreatedToleranceSeconds = 60;
    static constexpr std::size_t kMaxSeenNonces = 1024;
    // How often a nonce may come within the second of its first use, from
    // the same client (clients whose generator repeats within a second).
    static constexpr int kMaxNonceReuse = 64;
    static constexpr int kMaxUsers = 16;
    static constexpr int kMaxUsernameLength = 32;
    static constexpr int kMaxPasswordLength = 64;
    static QString interfaceToken() { return QStringLiteral("eth0"); }
    static QString adminName() { return QStringLiteral("admin"); }

    struct Options
    {
        quint64 seed = 1;
        int index = 0;
        QByteArray adminPassword = "Admin12345";  // of a device that starts with users
        quint32 address = 0x7F010001;            // IPv4, host order
        quint16 httpPort = 80;
        // Its IPv6 address, where it serves too (without a zone; a link-local
        // one is the device's link-local address); empty: IPv4 only.
        QString ipv6Address;
        OnvifBehaviour behaviour;
        qint64 bootSeconds = 1;  // WS-Discovery InstanceId of the first start
    };
    explicit OnvifDevice(const Options &options);

    // Identity, the same for a seed and index every time.
    const QString &endpoint() const { return m_endpoint; }  // urn:uuid:...
    const QString &serialNumber() const { return m_serial; }
    const QString &model() const { return m_model; }
    const QString &manufacturer() const { return m_manufacturer; }
    const QString &hardwareAddress() const { return m_mac; }
    const OnvifBehaviour &behaviour() const { return m_behaviour; }
    // Where it listens now: its IPv4 address while IPv4 is on, and its
    // IPv6 address when it serves on one (the first manual address, else
    // the link-local one; empty when it serves on IPv4 alone).
    quint32 address() const { return m_net.ipv4; }
    bool ipv4Enabled() const { return m_net.ipv4Enabled; }
    QString ipv6Address() const;
    quint16 httpPort() const { return m_net.httpPort; }
    // Where it serves HTTPS (its first HTTP port + 1); 0 when it does not.
    quint16 httpsPort() const { return m_behaviour.https == OnvifBehaviour::Https::Off ? 0 : m_httpsPort; }
    QString addressText() const;
    // Its XAddrs, IPv4 first: http://address[:port]/onvif/device_service,
    // http://[ipv6][:port]/onvif/device_service.
    QStringList serviceAddresses() const;
    QString serviceAddress() const { return serviceAddresses().value(0); }
    // Followed by https://address:port/onvif/device_service when HTTPS is
    // announced.
    QStringList announcedAddresses() const;
    // No administrator yet.
    bool factoryState() const;
    QStringList scopes() const;
    // The device's own clock, milliseconds since the epoch: off by the
    // behaviour's offset, then moved by SetSystemDateAndTime.
    qint64 deviceTimeMs(qint64 nowMs) const { return nowMs + m_behaviour.clockOffsetSeconds * 1000 + m_clockSetMs; }
    // Where its media service and snapshots are (beside the device service).
    QString mediaAddress() const;
    QString snapshotAddress() const;
    // The snapshot's path on the device's HTTP server.
    static QByteArray snapshotPath() { return QByteArrayLiteral("/onvif/snapshot.jpg"); }

    // What the server does once the reply has gone out.
    enum class After {
        Nothing,
        Move,    // the address or HTTP port may have changed: listen anew, Hello
        Reboot,  // Bye, stop listening, reboot(), listen, Hello
    };
    struct HttpReply
    {
        int status = 200;
        QList<QByteArray> challenges;  // WWW-Authenticate values
        QByteArray body;               // a SOAP envelope
        After after = After::Nothing;
        int delayMs = 0;               // answer this much later
        bool silent = false;           // never answer
        QByteArray contentType;        // empty: a SOAP envelope
    };
    // One HTTP request to the device service. nowMs is the true time;
    // peer is the client's address (none: one client).
    HttpReply handleHttp(const QByteArray &method, const QByteArray &target, const QByteArray &authorization,
                         const QByteArray &body, qint64 nowMs, const QString &peer = QString());

    // WS-Discovery. matches: a Probe's Types and Scopes select this device.
    bool matches(const OnvifSoap::Element &probe) const;
    // relatesTo is the Probe's MessageID (may be empty).
    QByteArray probeMatches(const QString &relatesTo);
    QByteArray hello();
    QByteArray bye();

    // Completes a reboot: settings that waited for it take effect, and a
    // new discovery instance starts.
    void reboot();
    // Whether a SetNetworkInterfaces waits for a reboot.
    bool rebootPending() const { return m_pendingInterface.has_value(); }

    // Scope matching of WS-Discovery's default rule (RFC 3986): same scheme
    // and authority, the probe's path segments a prefix of the device's.
    static bool scopeMatches(const QString &probeScope, const QString &deviceScope);

private:
    enum class Level { Anonymous, User, Operator, Administrator };
    struct User
    {
        QString name;
        QByteArray password;
        Level level = Level::User;
    };
    struct InterfaceConfig
    {
        quint32 ipv4 = 0;
        bool ipv4Enabled = true;
        int prefix = 16;
        bool dhcp = false;
        int mtu = 1500;
        bool ipv6Enabled = false;
        QString ipv6Dhcp = QStringLiteral("Off");
        QList<QPair<QString, int>> ipv6Manual;
    };
    struct NetState : InterfaceConfig
    {
        QList<quint32> gateways;
        QStringList gateways6;
        bool dnsFromDhcp = false;
        QStringList searchDomains;
        QStringList dns;  // IPv4 or IPv6 addresses
        quint16 httpPort = 80;
        quint16 rtspPort = 554;
        bool rtspEnabled = true;
        QString hostname;
    };
    struct Fault
    {
        int status = 400;
        QString code;
        QStringList subcodes;
        QString reason;
    };
    enum class Access { PreAuth, ReadSystem, ReadSecret, Write };

    // The generic fault shapes every ONVIF device uses (InvalidArgVal, InvalidArgs, OperationProhibited).
    static Fault invalidArgVal(const QString &subcode, const QString &reason);
    static Fault invalidArgs(const QString &reason);
    static Fault prohibited(const QString &subcode, const QString &reason);

    HttpReply faultReply(const Fault &fault) const;
    HttpReply notAuthorized(qint64 nowMs, bool stale);
    std::optional<Level> authenticate(const OnvifSoap::Message &message, const QByteArray &method,
                                      const QByteArray &target, const QByteArray &authorization, qint64 nowMs,
                                      bool &stale);
    std::optional<Level> checkUsernameToken(const OnvifSoap::Element &header, qint64 nowMs);
    const User *findUser(const QString &name) const;

    // Each operation writes its answer into the writer's open Body, or
    // returns a fault.
    std::optional<Fault> dispatch(const QString &operation, const OnvifSoap::Element &payload,
                                  OnvifSoap::Writer &writer, HttpReply &reply, qint64 nowMs);
    std::optional<Fault> setNetworkInterfaces(const OnvifSoap::Element &payload, OnvifSoap::Writer &writer,
                                              HttpReply &reply);
    std::optional<Fault> setGateway(const OnvifSoap::Element &payload);
    std::optional<Fault> setDns(const OnvifSoap::Element &payload);
    std::optional<Fault> setProtocols(const OnvifSoap::Element &payload, HttpReply &reply);
    std::optional<Fault> createUsers(const OnvifSoap::Element &payload);
    std::optional<Fault> setUsers(const OnvifSoap::Element &payload);
    void writeServices(OnvifSoap::Writer &writer, bool includeCapability) const;
    void writeCapabilities(OnvifSoap::Writer &writer) const;
    void writeDateTime(OnvifSoap::Writer &writer, qint64 nowMs) const;
    void writeInterfaces(OnvifSoap::Writer &writer) const;
    void writeDiscoveryHeader(OnvifSoap::Writer &writer, const QString &action, const QString &to,
                              const QString &relatesTo);
    void writeEndpoint(OnvifSoap::Writer &writer) const;
    void writeDiscoveryMetadata(OnvifSoap::Writer &writer) const;
    // Commissioning and media (onvifcommissioning.cpp): the operations a
    // device is set up with after its address and first administrator.
    // Nothing when the operation is none of them.
    static std::optional<Access> commissioningAccess(const OnvifSoap::Element &payload);
    std::optional<Fault> dispatchCommissioning(const OnvifSoap::Element &payload, OnvifSoap::Writer &writer,
                                               HttpReply &reply, qint64 nowMs);
    std::optional<Fault> setSystemDateAndTime(const OnvifSoap::Element &payload, qint64 nowMs);
    std::optional<Fault> setNtp(const OnvifSoap::Element &payload);
    std::optional<Fault> setHostname(const OnvifSoap::Element &payload);
    std::optional<Fault> deleteUsers(const OnvifSoap::Element &payload);
    std::optional<Fault> factoryDefault(const OnvifSoap::Element &payload);
    std::optional<Fault> writeMedia(const OnvifSoap::Element &payload, OnvifSoap::Writer &writer);
    void writeDeviceServiceCapabilities(OnvifSoap::Writer &writer) const;
    void writeMediaServiceCapabilities(OnvifSoap::Writer &writer) const;
    // GET of the snapshot: a JPEG for a user that HTTP digest accepts.
    HttpReply snapshot(const QByteArray &target, const QByteArray &authorization, qint64 nowMs);
    // The device's local time offset from UTC, from its POSIX TZ string's
    // standard offset (a daylight saving rule is kept, not applied).
    qint64 localOffsetSeconds() const;

    // A good answer turned into the hostile kind the behaviour asks for.
    QByteArray spoil(const QByteArray &envelope, bool datagram) const;

    QString m_endpoint;
    QString m_manufacturer;
    QString m_model;
    QString m_firmware;
    QString m_serial;
    QString m_hardwareId;
    QString m_mac;
    QString m_name;
    QString m_location;
    QString m_ipv6LinkLocal;  // empty: the device reports no IPv6
    bool m_servesIpv6 = false;
    OnvifBehaviour m_behaviour;
    quint16 m_httpsPort = 0;
    NetState m_net;
    std::optional<InterfaceConfig> m_pendingInterface;
    QList<User> m_users;
    HttpDigest m_digest;
    std::deque<std::pair<QByteArray, qint64>> m_seenNonces;  // nonce, device time it may be forgotten
    // Each remembered nonce: the second of its first Created, the client
    // that sent it, and how often it came.
    struct NonceUse
    {
        qint64 second = 0;
        qint64 firstSeenMs = 0;  // device time
        QString peer;
        int uses = 0;
    };
    QString m_peer;  // of the request being answered
    QHash<QByteArray, NonceUse> m_seenNonceSet;
    // Time settings and NTP servers (type IPv4, IPv6 or DNS, and address).
    qint64 m_clockSetMs = 0;
    bool m_ntpTime = false;
    bool m_daylightSavings = false;
    QString m_timeZone = QStringLiteral("UTC0");
    bool m_ntpFromDhcp = false;
    QList<QPair<QString, QString>> m_ntpServers;
    NetState m_factoryNet;  // network settings a hard factory default returns to
    quint32 m_instanceId = 1;
    quint32 m_messageNumber = 0;
    quint32 m_metadataVersion = 1;
};

} // namespace VoskSim
