#include "operations/onvifdeviceoperations.h"

#include "onvif/devicesession.h"
#include "operations/onvifdevices.h"
#include "operations/onvifnetview.h"
#include "operations/onvifoutcome.h"
#include "operations/operationslog.h"
#include "operations/operationwords.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QThread>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

namespace VoskTool {

namespace {

const QString kDefaultUser = QStringLiteral("admin");
// Between two attempts to reach a moved device.
constexpr int kRetryMs = 200;

bool lookUp(const DeviceKey &device, OnvifTarget *target)
{
    OnvifDevices *devices = OnvifDevices::instance();
    return devices && devices->target(device, target);
}

// A session to `address` as `user`, its certificate (over HTTPS) checked
// against the one kept for the device.
std::unique_ptr<Onvif::DeviceSession> sessionTo(const OnvifTarget &target, const QUrl &address, const QString &user,
                                                const QByteArray &password, int timeoutMs)
{
    auto session = std::make_unique<Onvif::DeviceSession>(address, user, QString::fromUtf8(password), timeoutMs);
    if (OnvifDevices *devices = OnvifDevices::instance())
        session->client().setCertificateCheck(devices->certificateCheck(target.endpointReference));
    else
        session->client().setCertificateCheck([](const QByteArray &) { return false; });
    return session;
}

// The address the calls go to for a service address: the same over HTTPS
// when the device offers it.
QUrl callAt(const OnvifTarget &target, const QUrl &service)
{
    return target.secureAddress.isValid() ? Onvif::secureAddress(service, target.secureAddress.port(443)) : service;
}

QString userOf(const OnvifTarget &target)
{
    return target.credentials.isEmpty() ? kDefaultUser : target.credentials.username;
}

QString sameAddress(const QString &text)
{
    const QHostAddress address(text.trimmed());
    return address.isNull() ? text.trimmed() : address.toString();
}

bool differs(const QString &a, const QString &b)
{
    return sameAddress(a) != sameAddress(b);
}

// A host as an address, its zone left out (a service address's link-local
// host carries the interface it is reached through).
QHostAddress hostAddress(const QString &host)
{
    QHostAddress address(host);
    address.setScopeId(QString());
    return address;
}

// What the interface was sent: the IPv4 part only when `ipv4` (DHCP, or a
// fixed address and prefix), the manual IPv6 address only when `ipv6`.
struct SentInterface
{
    bool ipv4 = false;
    bool dhcp = false;
    QString address;
    int prefix = -1;
    std::optional<Onvif::PrefixedAddress> ipv6;
};

// Whether the interface read back shows what was sent.
bool showsChange(const Onvif::NetworkInterface &nic, const SentInterface &sent)
{
    if (sent.ipv4) {
        if (!nic.ipv4 || nic.ipv4->dhcp != sent.dhcp)
            return false;
        if (!sent.dhcp) {
            const Onvif::PrefixedAddress *now = onvifIpv4Address(nic);
            if (!now || differs(now->address, sent.address) || (sent.prefix >= 0 && now->prefixLength != sent.prefix))
                return false;
        }
    }
    if (sent.ipv6) {
        if (!nic.ipv6)
            return false;
        const QList<Onvif::PrefixedAddress> &manual = nic.ipv6->manual;
        return std::any_of(manual.cbegin(), manual.cend(), [&sent](const Onvif::PrefixedAddress &a) {
            return !differs(a.address, sent.ipv6->address) && a.prefixLength == sent.ipv6->prefixLength;
        });
    }
    return true;
}

// What was sent beside the interface, to be read back too.
struct SentOthers
{
    std::optional<QString> gateway4;
    std::optional<QString> gateway6;
    int httpPort = 0; // 0: not sent
};

// What one read-back found: the interface (when `interfaces` answered),
// the gateway and the HTTP port.
struct ReadBack
{
    bool answered = false;
    std::optional<Onvif::NetworkInterface> nic;
    std::optional<Onvif::NetworkGateway> gateway;
    int httpPort = 0;
};

ReadBack readBack(Onvif::DeviceSession &session, const QString &token, const SentOthers &others)
{
    ReadBack back;
    const auto interfaces = session.getNetworkInterfaces();
    if (!interfaces.ok())
        return back;
    back.answered = true;
    for (const Onvif::NetworkInterface &n : interfaces.value) {
        if (n.token == token)
            back.nic = n;
    }
    if (others.gateway4 || others.gateway6) {
        const auto gateway = session.getNetworkDefaultGateway();
        if (gateway.ok())
            back.gateway = gateway.value;
    }
    if (others.httpPort > 0) {
        const auto protocols = session.getNetworkProtocols();
        if (protocols.ok())
            back.httpPort = Onvif::httpPort(protocols.value);
    }
    return back;
}

bool showsAll(const ReadBack &back, const SentInterface &sent, bool interfaceSent, const SentOthers &others)
{
    if (!back.answered || (interfaceSent && (!back.nic || !showsChange(*back.nic, sent))))
        return false;
    if (others.gateway4 || others.gateway6) {
        if (!back.gateway)
            return false;
        const QStringList &v4 = back.gateway->ipv4;
        const QStringList &v6 = back.gateway->ipv6;
        if (others.gateway4 && (v4.isEmpty() || differs(v4.constFirst(), *others.gateway4)))
            return false;
        if (others.gateway6 && (v6.isEmpty() || differs(v6.constFirst(), *others.gateway6)))
            return false;
    }
    return others.httpPort == 0 || back.httpPort == others.httpPort;
}

// What the device still reports of what was sent, in the console's
// notation ("ip=192.0.2.10/16 gateway=192.0.2.1"): the words of a change
// it did not apply.
QString reportedText(const ReadBack &back, const SentInterface &sent, bool interfaceSent, const SentOthers &others)
{
    QStringList parts;
    if (interfaceSent && back.nic) {
        const Onvif::NetworkInterface &nic = *back.nic;
        if (sent.ipv4) {
            const bool dhcp = nic.ipv4 && nic.ipv4->dhcp;
            parts << QStringLiteral("dhcp=%1").arg(dhcp ? QStringLiteral("on") : QStringLiteral("off"));
            const Onvif::PrefixedAddress *v4 = onvifIpv4Address(nic);
            if (!dhcp)
                parts << QStringLiteral("ip=%1").arg(v4 ? QStringLiteral("%1/%2").arg(v4->address).arg(v4->prefixLength)
                                                        : QStringLiteral("none"));
        }
        if (sent.ipv6) {
            const Onvif::PrefixedAddress *v6 = onvifIpv6Address(nic);
            parts << QStringLiteral("ipv6=%1").arg(v6 ? QStringLiteral("%1/%2").arg(v6->address).arg(v6->prefixLength)
                                                      : QStringLiteral("none"));
        }
    }
    if (back.gateway) {
        if (others.gateway4)
            parts << QStringLiteral("gateway=%1").arg(back.gateway->ipv4.value(0, QStringLiteral("none")));
        if (others.gateway6)
            parts << QStringLiteral("ipv6-gateway=%1").arg(back.gateway->ipv6.value(0, QStringLiteral("none")));
    }
    if (others.httpPort > 0 && back.httpPort > 0)
        parts << QStringLiteral("http=%1").arg(back.httpPort);
    return deviceText(parts.join(QLatin1Char(' ')));
}

} // namespace

QString OnvifDeviceOperations::kindName() const
{
    return QStringLiteral("onvif");
}

bool OnvifDeviceOperations::handles(const DeviceKey &device) const
{
    return device.isOnvif();
}

bool OnvifDeviceOperations::activatesInClear(const DeviceKey &device)
{
    OnvifTarget target;
    return lookUp(device, &target) && !target.secureAddress.isValid();
}

QUrl OnvifDeviceOperations::movedAddress(const QUrl &service, const QString &host, int httpPort)
{
    QUrl url = service;
    if (!host.isEmpty()) {
        // A link-local address means nothing without the interface it is
        // reached through: a new one keeps the zone of the old.
        QString text = host;
        const QHostAddress address(host);
        const QHostAddress before(service.host());
        if (address.protocol() == QAbstractSocket::IPv6Protocol && address.isLinkLocal()
            && address.scopeId().isEmpty() && !before.scopeId().isEmpty())
            text = address.toString() + QLatin1Char('%') + before.scopeId();
        url.setHost(text);
    }
    if (httpPort > 0)
        url.setPort(httpPort == 80 ? -1 : httpPort);
    return url;
}

OperationOutcome OnvifDeviceOperations::setNetParams(const DeviceKey &device, const QByteArray &password,
                                                    const NetParams &params)
{
    OnvifTarget target;
    if (!lookUp(device, &target))
        return {OperationStatus::NotFound, 0};
    if (target.factoryState)
        return {OperationStatus::NotActivated, 0};
    const QString user = userOf(target);
    const auto signedIn = sessionTo(target, target.callAddress(), user, password, m_callTimeoutMs);
    Onvif::DeviceSession &session = *signedIn;

    // What the device holds now: only what differs is sent.
    const auto interfaces = session.getNetworkInterfaces();
    if (!interfaces.ok())
        return onvifOutcome(interfaces.error);
    const Onvif::NetworkInterface *nic = onvifMainInterface(interfaces.value, target.serviceAddress.host());
    if (!nic || nic->token.isEmpty())
        return {OperationStatus::Failed, kOnvifCodeBase + int(Onvif::ErrorKind::BadAnswer)};
    const auto gateway = session.getNetworkDefaultGateway();
    const auto protocols = session.getNetworkProtocols();

    SentOthers others;
    // The gateway: only with a fixed address (DHCP brings its own), and
    // only when the device can say what it has. An empty one keeps the
    // device's: a row that was never read (or not since a move) has none
    // to show, and sending its empty cell would take the device's away.
    if (!params.dhcp && gateway.ok()) {
        const QString now = gateway.value.ipv4.isEmpty() ? QString() : gateway.value.ipv4.constFirst();
        const QString now6 = gateway.value.ipv6.isEmpty() ? QString() : gateway.value.ipv6.constFirst();
        const bool v4 = !params.ipv4Gateway.trimmed().isEmpty() && differs(now, params.ipv4Gateway);
        const bool v6 = nic->ipv6 && nic->ipv6->enabled && !params.ipv6Gateway.isEmpty()
            && differs(now6, params.ipv6Gateway);
        if (v4 || v6) {
            Onvif::NetworkGateway wanted = gateway.value;
            if (v4) {
                wanted.ipv4 = QStringList{params.ipv4Gateway.trimmed()};
                others.gateway4 = params.ipv4Gateway.trimmed();
            }
            if (v6) {
                wanted.ipv6 = QStringList{params.ipv6Gateway.trimmed()};
                others.gateway6 = params.ipv6Gateway.trimmed();
            }
            const auto set = session.setNetworkDefaultGateway(wanted);
            if (!set.ok())
                return onvifOutcome(set.error);
        }
    }

    // The HTTP port: the device moves to it at once.
    QUrl service = target.serviceAddress;
    const int httpNow = protocols.ok() ? Onvif::httpPort(protocols.value) : 0;
    if (params.httpPort > 0 && httpNow > 0 && params.httpPort != httpNow) {
        Onvif::NetworkProtocol http;
        http.name = QStringLiteral("HTTP");
        http.enabled = true;
        http.ports = {params.httpPort};
        const auto set = session.setNetworkProtocols({http});
        if (!set.ok())
            return onvifOutcome(set.error);
        others.httpPort = params.httpPort;
        service = movedAddress(service, QString(), params.httpPort);
        session.client().setServiceAddress(callAt(target, service));
    }

    // The interface: DHCP, the IPv4 address and prefix, IPv6.
    const Onvif::PrefixedAddress *v4 = onvifIpv4Address(*nic);
    // A device with IPv4 off (reached over IPv6 alone) has no IPv4 address
    // in its row to send: its IPv4 stays off unless the user gave it an
    // address or DHCP.
    const bool ipv4On = nic->ipv4 && nic->ipv4->enabled;
    SentInterface sent;
    sent.ipv4 = ipv4On || params.dhcp || !params.ipv4Address.trimmed().isEmpty();
    sent.dhcp = params.dhcp;
    // Empty cells keep the device's values, as for the gateway.
    int prefix = maskPrefixLength(params.ipv4Mask);
    if (params.ipv4Mask.trimmed().isEmpty() && v4)
        prefix = v4->prefixLength;
    const QString address = params.ipv4Address.trimmed().isEmpty() && v4 ? v4->address : params.ipv4Address.trimmed();
    sent.address = address;
    sent.prefix = prefix;
    Onvif::NetworkInterfaceSettings settings;
    bool sendInterface = false;
    const bool dhcpNow = nic->ipv4 && nic->ipv4->dhcp;
    if (sent.ipv4 && params.dhcp != dhcpNow) {
        settings.ipv4Dhcp = params.dhcp;
        sendInterface = true;
    }
    if (sent.ipv4 && !params.dhcp) {
        const bool addressChanged = !v4 || differs(v4->address, address);
        const bool prefixChanged = prefix > 0 && (!v4 || v4->prefixLength != prefix);
        if (addressChanged || prefixChanged || sendInterface) {
            if (prefix <= 0 || QHostAddress(address).isNull())
                return {OperationStatus::Failed, kOnvifCodeBase + int(Onvif::ErrorKind::InvalidArgument)};
            settings.ipv4Dhcp = false;
            settings.ipv4Manual = {{address, prefix}};
            sendInterface = true;
        }
    }
    // Given an address or DHCP, a device with IPv4 off is asked to turn it on.
    if (sendInterface && !ipv4On)
        settings.ipv4Enabled = true;
    const Onvif::PrefixedAddress *v6 = onvifIpv6Address(*nic);
    if (nic->ipv6 && nic->ipv6->enabled && !params.ipv6Address.trimmed().isEmpty()) {
        // A row without a prefix length keeps the device's.
        const int prefix6 = params.ipv6PrefixLength > 0 ? params.ipv6PrefixLength : v6 ? v6->prefixLength : 64;
        if (!v6 || differs(v6->address, params.ipv6Address) || v6->prefixLength != prefix6) {
            sent.ipv6 = Onvif::PrefixedAddress{params.ipv6Address.trimmed(), prefix6};
            settings.ipv6Manual = {*sent.ipv6};
            sendInterface = true;
        }
    }
    bool rebooted = false;
    if (sendInterface) {
        const auto set = session.setNetworkInterfaces(nic->token, settings);
        if (!set.ok())
            return onvifOutcome(set.error);
        if (set.value) {
            // The device itself said it applies the change only after a
            // restart. Never on a guess: an answer without RebootNeeded
            // is read back like any other.
            const auto reboot = session.systemReboot();
            if (!reboot.ok())
                return onvifOutcome(reboot.error);
            rebooted = true;
        }
        // The device is reached at the new address of the family it was
        // reached by: an IPv4 change leaves a device reached over IPv6
        // where it is, and the reverse.
        const QHostAddress host = hostAddress(service.host());
        if (host.protocol() == QAbstractSocket::IPv4Protocol) {
            if (sent.ipv4 && !params.dhcp)
                service = movedAddress(service, address, 0);
        } else if (sent.ipv6) {
            // The manual address it was reached at is replaced; a
            // link-local one stays.
            const QList<Onvif::PrefixedAddress> &manual = nic->ipv6->manual;
            if (std::any_of(manual.cbegin(), manual.cend(),
                            [&host](const Onvif::PrefixedAddress &a) { return hostAddress(a.address) == host; }))
                service = movedAddress(service, sent.ipv6->address, 0);
        }
    }

    // Applied only when the device answers where it now should, with what
    // was sent: a new session there, everything sent read back. An empty
    // success proves nothing (open implementations answer so for what
    // they do not implement).
    OperationOutcome outcome = OperationOutcome::done();
    outcome.rebooted = rebooted;
    outcome.takenAtMs = monotonicMs();
    const bool somethingSent = sendInterface || others.gateway4 || others.gateway6 || others.httpPort > 0;
    if (!somethingSent) {
        if (OnvifDevices *devices = OnvifDevices::instance())
            devices->noteMoved(device, service, {user, password});
        return outcome;
    }
    QElapsedTimer waited;
    waited.start();
    QDeadlineTimer deadline(rebooted ? m_rebootWaitMs : m_moveWaitMs);
    const int shortTimeout = qMin(m_callTimeoutMs, 1500);
    ReadBack last;
    for (;;) {
        const auto moved = sessionTo(target, callAt(target, service), user, password, shortTimeout);
        const ReadBack back = readBack(*moved, nic->token, others);
        if (showsAll(back, sent, sendInterface, others)) {
            if (OnvifDevices *devices = OnvifDevices::instance())
                devices->noteMoved(device, service, {user, password});
            return outcome;
        }
        if (back.answered)
            last = back;
        if (deadline.hasExpired())
            break;
        QThread::msleep(kRetryMs);
    }
    // Not seen with the change where it should be: still where it was, with
    // what it had? That is a change the device did not apply.
    if (!last.answered && service != target.serviceAddress) {
        const auto before = sessionTo(target, target.callAddress(), user, password, shortTimeout);
        last = readBack(*before, nic->token, others);
    }
    if (last.answered) {
        qCInfo(lcOperations) << "ONVIF device answered a change and does not show it:" << service.host();
        OperationOutcome notApplied{OperationStatus::NotApplied, kOnvifNotAppliedCode};
        notApplied.detail = reportedText(last, sent, sendInterface, others);
        notApplied.rebooted = rebooted;
        return notApplied;
    }
    qCInfo(lcOperations) << "ONVIF device took new settings and was not seen at" << service.host()
                         << (rebooted ? "after its reboot" : "");
    OperationOutcome notSeen{OperationStatus::NotSeen, 0};
    notSeen.waitedMs = int(qMin<qint64>(waited.elapsed(), std::numeric_limits<int>::max()));
    notSeen.rebooted = rebooted;
    return notSeen;
}

OperationOutcome OnvifDeviceOperations::activate(const DeviceKey &device, const QByteArray &password)
{
    OnvifTarget target;
    if (!lookUp(device, &target))
        return {OperationStatus::NotFound, 0};
    const QString user = userOf(target);
    if (!target.secureAddress.isValid()) {
        // The first password goes in clear over HTTP: a device in factory
        // state says anyone whether it offers HTTPS, and asking sends
        // nothing secret.
        Onvif::DeviceSession plain(target.serviceAddress, QString(), QString(), m_callTimeoutMs);
        const auto protocols = plain.getNetworkProtocols();
        if (protocols.ok())
            target.secureAddress = Onvif::secureAddress(target.serviceAddress, Onvif::httpsPort(protocols.value));
    }
    // Anonymous: a device without users takes its first one from anyone.
    const auto anonymous = sessionTo(target, target.callAddress(), QString(), QByteArray(), m_callTimeoutMs);
    const auto created =
        anonymous->createUsers({{user, QString::fromUtf8(password), Onvif::UserLevel::Administrator}});
    if (created.ok()) {
        if (OnvifDevices *devices = OnvifDevices::instance())
            devices->noteActivated(device, {user, password});
        return OperationOutcome::done();
    }
    const OperationOutcome failure = onvifOutcome(created.error);
    if (!target.factoryState) {
        // It has users: refused as any active device refuses activation.
        if (failure.status == OperationStatus::Denied || created.error.kind == Onvif::ErrorKind::InvalidArgument)
            return {OperationStatus::AlreadyActive, failure.code};
        return failure;
    }
    // In factory state, and the standard's way is refused or missing: the
    // maker's own activation is needed. A refused password (too weak for
    // the device) is the password's fault, not the device's.
    const bool passwordRefused = created.error.subcodes.contains(QLatin1String("PasswordTooWeak"))
        || created.error.subcodes.contains(QLatin1String("Password"));
    if (!passwordRefused
        && (failure.status == OperationStatus::Denied || failure.status == OperationStatus::Unsupported
            || created.error.subcodes.contains(QLatin1String("OperationProhibited")))) {
        if (OnvifDevices *devices = OnvifDevices::instance())
            devices->noteMakersActivation(device);
        return {OperationStatus::Unsupported, kOnvifMakersActivationCode};
    }
    return failure;
}

OperationOutcome OnvifDeviceOperations::changePassword(const DeviceKey &device, const QByteArray &oldPassword,
                                                      const QByteArray &newPassword)
{
    OnvifTarget target;
    if (!lookUp(device, &target))
        return {OperationStatus::NotFound, 0};
    if (target.factoryState)
        return {OperationStatus::NotActivated, 0};
    const QString user = userOf(target);
    const auto signedIn = sessionTo(target, target.callAddress(), user, oldPassword, m_callTimeoutMs);
    Onvif::DeviceSession &session = *signedIn;
    // SetUser takes the level too: the user keeps the one it has.
    Onvif::UserLevel level = Onvif::UserLevel::Administrator;
    const auto users = session.getUsers();
    if (!users.ok() && users.error.kind != Onvif::ErrorKind::NotSupported)
        return onvifOutcome(users.error);
    for (const Onvif::User &u : users.value) {
        if (u.username == user)
            level = u.level;
    }
    const auto set = session.setUser({{user, QString::fromUtf8(newPassword), level}});
    if (!set.ok())
        return onvifOutcome(set.error);
    // The device now signs in with the new password only: its own
    // credentials follow, so the row can be read again.
    if (OnvifDevices *devices = OnvifDevices::instance()) {
        if (target.credentials.isEmpty() || target.credentials.password == oldPassword)
            devices->setCredentials(device, {user, newPassword});
    }
    return OperationOutcome::done();
}

OperationOutcome OnvifDeviceOperations::exportKey(const DeviceKey &, bool, QByteArray *)
{
    return {OperationStatus::Unsupported, 0};
}

OperationOutcome OnvifDeviceOperations::resetPassword(const DeviceKey &, const ResetPasswdParam &)
{
    return {OperationStatus::Unsupported, 0};
}

OperationOutcome OnvifDeviceOperations::restoreDefaultPassword(const DeviceKey &, const QByteArray &)
{
    return {OperationStatus::Unsupported, 0};
}

} // namespace VoskTool
