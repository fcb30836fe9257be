#include "tools/devsim/onvifdevice.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHostAddress>
#include <QRegularExpression>
#include <QUrl>
#include <QUuid>

#include <arpa/inet.h>

#include <random>

namespace VoskSim {

namespace {

using Element = OnvifSoap::Element;

struct Model
{
    const char *maker;
    const char *model;
    const char *hardware;
    const char *serialPrefix;
};

// Fictitious makers and models; a fleet mixes them as a real site does.
constexpr Model kModels[] = {
    {"Corvane", "CV-IPC2140", "CV2140-B", "CV21"},
    {"Corvane", "CV-PTZ3320", "CV3320-A", "CV33"},
    {"Tessaro Imaging", "TI-D520W", "D520W-R3", "TD52"},
    {"Tessaro Imaging", "TI-NVR0816", "NVR0816-R1", "TN08"},
    {"Brightmere", "BM-B4K30", "B4K30-02", "BMB4"},
    {"Quillon", "QL-E104", "E104-01", "QLE1"},
};

const char *const kLocations[] = {"Lobby", "North Gate", "Warehouse 2", "Parking", "Server Room", "Loading Bay"};

QString ipv4Text(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff);
}

// Dotted quad only: inet_pton refuses the short and octal forms that
// inet_aton would take.
bool parseIpv4(const QString &text, quint32 &out)
{
    in_addr a{};
    if (text.size() > 15 || inet_pton(AF_INET, text.toLatin1().constData(), &a) != 1)
        return false;
    out = ntohl(a.s_addr);
    return true;
}

// An address a device can take: not 0/8, not multicast or reserved, not
// the limited broadcast.
bool usableHost(quint32 address)
{
    return (address >> 24) != 0 && (address >> 28) < 0xE;
}

bool validIpv6(const QString &text)
{
    in6_addr a{};
    return text.size() <= 45 && inet_pton(AF_INET6, text.toLatin1().constData(), &a) == 1;
}

bool parseBool(const QString &text, bool &out)
{
    const QString t = text.trimmed();
    if (t == QLatin1String("true") || t == QLatin1String("1"))
        out = true;
    else if (t == QLatin1String("false") || t == QLatin1String("0"))
        out = false;
    else
        return false;
    return true;
}

bool parseInt(const QString &text, int &out)
{
    bool ok = false;
    out = text.trimmed().toInt(&ok);
    return ok;
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

OnvifDevice::OnvifDevice(const Options &options)
    : m_behaviour(options.behaviour)
    , m_digest(QByteArrayLiteral("ONVIF device"))
    , m_instanceId(quint32(std::max<qint64>(1, options.bootSeconds)))
{
    std::mt19937_64 rng(options.seed * 0xD1B54A32D192ED03ull + quint64(options.index) * 0x8CB92BA72F3D8DD7ull + 0x0ADF);
    const Model &model = kModels[options.index == 0 ? 0 : rng() % std::size(kModels)];
    m_manufacturer = QString::fromLatin1(model.maker);
    m_model = QString::fromLatin1(model.model);
    m_hardwareId = QString::fromLatin1(model.hardware);
    m_serial = QString::fromLatin1(model.serialPrefix)
        + QStringLiteral("%1").arg(rng() % 1000000000000ull, 12, 10, QLatin1Char('0'));
    m_firmware = QStringLiteral("V%1.%2.%3 build 24%4")
                     .arg(2 + rng() % 3)
                     .arg(rng() % 10)
                     .arg(rng() % 20)
                     .arg(rng() % 10000, 4, 10, QLatin1Char('0'));
    // Locally administered; the device number in the last two bytes keeps
    // the MACs of a fleet apart.
    const quint64 macBits = rng();
    quint8 mac[6] = {0x02, 0x5e, quint8(macBits >> 8), quint8(macBits), quint8(options.index >> 8),
                     quint8(options.index)};
    m_mac = QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(mac), 6).toHex(':'));
    m_name = QStringLiteral("Camera %1").arg(options.index + 1, 3, 10, QLatin1Char('0'));
    m_location = QString::fromLatin1(kLocations[rng() % std::size(kLocations)]);
    m_endpoint = QStringLiteral("urn:uuid:")
        + QUuid::createUuidV5(QUuid(QStringLiteral("6ba7b811-9dad-11d1-80b4-00c04fd430c8")),
                              QStringLiteral("vosk-devsim/onvif/%1/%2").arg(options.seed).arg(options.index))
              .toString(QUuid::WithoutBraces);
    if (rng() % 2 == 0) {
        // A modified EUI-64 link-local address from the MAC.
        m_ipv6LinkLocal = QStringLiteral("fe80::%1:%2ff:fe%3:%4")
                              .arg((mac[0] ^ 0x02) << 8 | mac[1], 0, 16)
                              .arg(mac[2], 2, 16, QLatin1Char('0'))
                              .arg(mac[3], 2, 16, QLatin1Char('0'))
                              .arg(mac[4] << 8 | mac[5], 4, 16, QLatin1Char('0'));
        m_net.ipv6Enabled = true;
    }

    // Posing as another device: what it would say is taken from that one.
    auto other = [](const OnvifBehaviour::Borrowed &who) {
        Options o;
        o.seed = who.seed;
        o.index = who.index;
        return OnvifDevice(o);
    };
    if (m_behaviour.endpointOf.isSet()) {
        m_endpoint = other(m_behaviour.endpointOf).endpoint();
        // Newer metadata than the device it poses as has announced.
        m_metadataVersion += 1000;
    }
    if (m_behaviour.twinOf.isSet()) {
        const OnvifDevice twin = other(m_behaviour.twinOf);
        m_serial = twin.serialNumber();
        m_mac = twin.hardwareAddress();
    }

    if (!options.ipv6Address.isEmpty()) {
        // Served there too: the address the fleet gives is the device's
        // manual IPv6 address, or its link-local one.
        m_servesIpv6 = true;
        m_net.ipv6Enabled = true;
        if (QHostAddress(options.ipv6Address).isLinkLocal()) {
            m_ipv6LinkLocal = options.ipv6Address;
        } else {
            m_net.ipv6Manual = {{options.ipv6Address, 64}};
            if (m_ipv6LinkLocal.isEmpty())
                m_ipv6LinkLocal = QStringLiteral("fe80::5e:%1").arg(options.index + 1, 0, 16);
        }
    }
    m_net.ipv4Enabled = !(m_servesIpv6 && m_behaviour.ipv6Only);
    // Reported, and off (a device that does not serve on it).
    if (m_behaviour.ipv6Off && !m_servesIpv6) {
        if (m_ipv6LinkLocal.isEmpty())
            m_ipv6LinkLocal = QStringLiteral("fe80::5e:%1").arg(options.index + 1, 0, 16);
        m_net.ipv6Enabled = false;
    }
    m_net.ipv4 = options.address;
    m_net.prefix = 16;
    m_net.httpPort = options.httpPort;
    m_httpsPort = options.httpPort == 65535 ? 0 : quint16(options.httpPort + 1);
    const quint32 gateway = (options.address & 0xFFFF0000u) | 0xFFFEu;
    // With IPv4 off there is no IPv4 router or name server to know of.
    if (m_net.ipv4Enabled) {
        m_net.gateways = {gateway};
        m_net.dns = {ipv4Text(gateway)};
    }
    // Serving on IPv6, it knows its router by the router's link-local
    // address, as routers advertise themselves.
    if (m_servesIpv6)
        m_net.gateways6 = {QStringLiteral("fe80::1")};
    m_net.hostname = QStringLiteral("ipc-%1").arg(options.index + 1, 3, 10, QLatin1Char('0'));
    if (!m_behaviour.factory)
        m_users.append(User{adminName(), options.adminPassword, Level::Administrator});
    m_factoryNet = m_net;
}

QString OnvifDevice::addressText() const
{
    return ipv4Text(m_net.ipv4);
}

QString OnvifDevice::ipv6Address() const
{
    if (!m_servesIpv6 || !m_net.ipv6Enabled)
        return QString();
    return m_net.ipv6Manual.isEmpty() ? m_ipv6LinkLocal : m_net.ipv6Manual.constFirst().first;
}

QStringList OnvifDevice::serviceAddresses() const
{
    const QString port = m_net.httpPort == 80 ? QString() : QStringLiteral(":%1").arg(m_net.httpPort);
    const QString path = QStringLiteral("/onvif/device_service");
    QStringList list;
    if (!m_behaviour.xaddrHost.isEmpty()) {
        const QString host = m_behaviour.xaddrHost.contains(QLatin1Char(':'))
            ? QLatin1Char('[') + m_behaviour.xaddrHost + QLatin1Char(']')
            : m_behaviour.xaddrHost;
        return {QStringLiteral("http://") + host + port + path};
    }
    if (m_net.ipv4Enabled)
        list << QStringLiteral("http://") + addressText() + port + path;
    const QString v6 = ipv6Address();
    if (!v6.isEmpty())
        list << QStringLiteral("http://[") + v6 + QLatin1Char(']') + port + path;
    return list;
}

QStringList OnvifDevice::announcedAddresses() const
{
    QStringList list = serviceAddresses();
    if (m_behaviour.https == OnvifBehaviour::Https::Announced && m_net.ipv4Enabled && httpsPort())
        list << QStringLiteral("https://%1:%2/onvif/device_service").arg(addressText()).arg(httpsPort());
    return list;
}

bool OnvifDevice::factoryState() const
{
    return std::none_of(m_users.begin(), m_users.end(),
                        [](const User &u) { return u.level == Level::Administrator; });
}

QStringList OnvifDevice::scopes() const
{
    const QString base = QStringLiteral("onvif://www.onvif.org/");
    QStringList list{base + QStringLiteral("type/video_encoder"),
                     base + QStringLiteral("type/Network_Video_Transmitter"),
                     base + QStringLiteral("Profile/Streaming"),
                     base + QStringLiteral("hardware/") + QString::fromLatin1(QUrl::toPercentEncoding(m_model)),
                     base + QStringLiteral("name/") + QString::fromLatin1(QUrl::toPercentEncoding(m_name)),
                     base + QStringLiteral("location/") + QString::fromLatin1(QUrl::toPercentEncoding(m_location))};
    // The state scopes of Profile Q, as devices in the field announce them:
    // a client that probes for "Profile/Q/FactoryDefault" finds the devices
    // still waiting for their first administrator.
    if (m_behaviour.stateScopes)
        list.append(base + (factoryState() ? QStringLiteral("Profile/Q/FactoryDefault") : QStringLiteral("Profile/Q/Operational")));
    return list;
}

// ---------------------------------------------------------------- HTTP

OnvifDevice::HttpReply OnvifDevice::faultReply(const Fault &fault) const
{
    HttpReply reply;
    reply.status = fault.status;
    reply.body = OnvifSoap::fault(fault.code, fault.subcodes, fault.reason);
    reply.delayMs = m_behaviour.delayMs;
    return reply;
}

OnvifDevice::HttpReply OnvifDevice::notAuthorized(qint64 nowMs, bool stale)
{
    // A device that takes digest says so with a 401 and its challenges; one
    // that takes only WS-UsernameToken answers 400 with the fault alone.
    const bool digest = m_behaviour.auth != OnvifBehaviour::Auth::UsernameToken;
    HttpReply reply = faultReply(Fault{digest ? 401 : 400, QStringLiteral("Sender"),
                                       {QStringLiteral("NotAuthorized")}, QStringLiteral("Sender not Authorized")});
    if (digest)
        reply.challenges = m_digest.challenges(nowMs, stale);
    return reply;
}

const OnvifDevice::User *OnvifDevice::findUser(const QString &name) const
{
    for (const User &u : m_users) {
        if (u.name == name)
            return &u;
    }
    return nullptr;
}

std::optional<OnvifDevice::Level> OnvifDevice::checkUsernameToken(const Element &header, qint64 nowMs)
{
    const Element *security = header.child(OnvifSoap::kSecurity, u"Security");
    const Element *token = security ? security->child(OnvifSoap::kSecurity, u"UsernameToken") : nullptr;
    if (!token)
        return std::nullopt;
    const Element *password = token->child(OnvifSoap::kSecurity, u"Password");
    // A password in plain text (no Type, or #PasswordText) is refused: it
    // would cross the network readable.
    if (!password || !password->attribute(QString(), u"Type").endsWith(QLatin1String("#PasswordDigest")))
        return std::nullopt;
    const auto nonce = QByteArray::fromBase64Encoding(
        token->childText(OnvifSoap::kSecurity, u"Nonce").toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!nonce || nonce.decoded.isEmpty() || nonce.decoded.size() > 64)
        return std::nullopt;
    const QString createdText = token->childText(OnvifSoap::kUtility, u"Created");
    QDateTime created = QDateTime::fromString(createdText, Qt::ISODateWithMs);
    if (!created.isValid())
        return std::nullopt;
    if (created.timeSpec() == Qt::LocalTime)
        created.setTimeSpec(Qt::UTC);
    const qint64 deviceNow = deviceTimeMs(nowMs);
    if (std::abs(created.toMSecsSinceEpoch() - deviceNow) > kCreatedToleranceSeconds * 1000)
        return std::nullopt;

    while (!m_seenNonces.empty() && m_seenNonces.front().second < deviceNow) {
        m_seenNonceSet.remove(m_seenNonces.front().first);
        m_seenNonces.pop_front();
    }
    // A nonce seen before. The UsernameToken profile recommends, without
    // requiring it, that a receiver cache used nonces for the freshness
    // window and refuse them. Clients whose generator is seeded by the
    // clock repeat a nonce for every request they make within one second,
    // often with the very same Created. Such a nonce is taken again only
    // within the second of its first Created and from the client that
    // first sent it; from anywhere else, or later, it is a replay.
    const qint64 createdMs = created.toMSecsSinceEpoch();
    const auto seen = m_seenNonceSet.constFind(nonce.decoded);
    if (seen != m_seenNonceSet.constEnd()
        && (seen->second != createdMs / 1000 || deviceNow - seen->firstSeenMs >= 1000 || seen->peer != m_peer
            || seen->uses >= kMaxNonceReuse))
        return std::nullopt;

    const User *user = findUser(token->childText(OnvifSoap::kSecurity, u"Username"));
    if (!user)
        return std::nullopt;
    const QByteArray expected =
        QCryptographicHash::hash(nonce.decoded + createdText.toUtf8() + user->password, QCryptographicHash::Sha1)
            .toBase64();
    if (expected != password->text.trimmed().toLatin1())
        return std::nullopt;
    if (seen != m_seenNonceSet.constEnd()) {
        ++m_seenNonceSet[nonce.decoded].uses;
        return user->level;
    }
    // Remembered for as long as its Created would still pass.
    m_seenNonces.emplace_back(nonce.decoded, deviceNow + 2 * kCreatedToleranceSeconds * 1000);
    m_seenNonceSet.insert(nonce.decoded, NonceUse{createdMs / 1000, deviceNow, m_peer, 1});
    if (m_seenNonces.size() > kMaxSeenNonces) {
        m_seenNonceSet.remove(m_seenNonces.front().first);
        m_seenNonces.pop_front();
    }
    return user->level;
}

std::optional<OnvifDevice::Level> OnvifDevice::authenticate(const OnvifSoap::Message &message,
                                                             const QByteArray &method, const QByteArray &target,
                                                             const QByteArray &authorization, qint64 nowMs,
                                                             bool &stale)
{
    stale = false;
    if (m_behaviour.auth != OnvifBehaviour::Auth::Digest) {
        if (const std::optional<Level> level = checkUsernameToken(message.header, nowMs))
            return level;
    }
    if (m_behaviour.auth != OnvifBehaviour::Auth::UsernameToken && !authorization.isEmpty()) {
        QByteArray name;
        const HttpDigest::Result result = m_digest.verify(
            authorization, method, target, nowMs,
            [this](const QByteArray &user) -> std::optional<QByteArray> {
                const User *u = findUser(QString::fromUtf8(user));
                return u ? std::optional<QByteArray>(u->password) : std::nullopt;
            },
            name);
        if (result == HttpDigest::Result::Accepted)
            return findUser(QString::fromUtf8(name))->level;
        stale = result == HttpDigest::Result::Stale;
    }
    return std::nullopt;
}

OnvifDevice::HttpReply OnvifDevice::handleHttp(const QByteArray &method, const QByteArray &target,
                                               const QByteArray &authorization, const QByteArray &body, qint64 nowMs,
                                               const QString &peer)
{
    m_peer = peer;
    if (m_behaviour.silent) {
        HttpReply reply;
        reply.silent = true;
        return reply;
    }
    if (method == "GET" && QByteArray(target).split('?').value(0) == snapshotPath())
        return snapshot(target, authorization, nowMs);
    if (method != "POST") {
        HttpReply reply;
        reply.status = 405;
        reply.delayMs = m_behaviour.delayMs;
        return reply;
    }
    // Clients that speak digest first (curl --digest, libraries on top of
    // HTTP stacks) send the request without its body to draw a challenge.
    if (body.trimmed().isEmpty() && authorization.isEmpty()
        && m_behaviour.auth != OnvifBehaviour::Auth::UsernameToken)
        return notAuthorized(nowMs, false);
    const QString sender = QStringLiteral("Sender");
    OnvifSoap::Message message;
    switch (OnvifSoap::parse(body, message)) {
    case OnvifSoap::ParseError::None:
        break;
    case OnvifSoap::ParseError::VersionMismatch:
        return faultReply(Fault{500, QStringLiteral("VersionMismatch"), {}, QStringLiteral("SOAP 1.2 only")});
    case OnvifSoap::ParseError::TooLarge:
        return faultReply(Fault{400, sender, {QStringLiteral("WellFormed")}, QStringLiteral("Message too large")});
    case OnvifSoap::ParseError::Forbidden:
        return faultReply(Fault{400, sender, {QStringLiteral("WellFormed")},
                                QStringLiteral("DTDs and processing instructions are not allowed")});
    case OnvifSoap::ParseError::NotWellFormed:
    case OnvifSoap::ParseError::NotEnvelope:
        return faultReply(Fault{400, sender, {QStringLiteral("WellFormed")}, QStringLiteral("Not a SOAP envelope")});
    }
    for (const Element &h : message.header.children) {
        const QString must = h.attribute(OnvifSoap::kEnvelope, u"mustUnderstand").trimmed();
        const bool understood = h.ns == OnvifSoap::kSecurity || h.ns == OnvifSoap::kAddressing
            || h.ns == OnvifSoap::kAddressing10;
        if ((must == QLatin1String("1") || must == QLatin1String("true")) && !understood)
            return faultReply(Fault{500, QStringLiteral("MustUnderstand"), {},
                                    QStringLiteral("Header not understood: ") + h.name});
    }
    if (message.payload.name.isEmpty())
        return faultReply(Fault{400, sender, {QStringLiteral("InvalidArgs")}, QStringLiteral("Empty Body")});

    struct Operation
    {
        const char16_t *name;
        Access access;
    };
    static constexpr Operation kOperations[] = {
        {u"GetSystemDateAndTime", Access::PreAuth},   {u"GetServices", Access::PreAuth},
        {u"GetCapabilities", Access::PreAuth},        {u"GetDeviceInformation", Access::ReadSystem},
        {u"GetNetworkInterfaces", Access::ReadSystem}, {u"GetNetworkDefaultGateway", Access::ReadSystem},
        {u"GetDNS", Access::ReadSystem},              {u"GetNetworkProtocols", Access::ReadSystem},
        {u"GetHostname", Access::ReadSystem},         {u"GetScopes", Access::ReadSystem},
        {u"GetUsers", Access::ReadSecret},            {u"SetNetworkInterfaces", Access::Write},
        {u"SetNetworkDefaultGateway", Access::Write}, {u"SetDNS", Access::Write},
        {u"SetNetworkProtocols", Access::Write},      {u"CreateUsers", Access::Write},
        {u"SetUser", Access::Write},                  {u"SystemReboot", Access::Write},
    };
    const Operation *operation = nullptr;
    if (message.payload.ns == OnvifSoap::kDevice) {
        for (const Operation &o : kOperations) {
            if (message.payload.name == QStringView(o.name))
                operation = &o;
        }
    }
    Operation commissioning{nullptr, Access::PreAuth};
    if (!operation) {
        if (const std::optional<Access> access = commissioningAccess(message.payload)) {
            commissioning.access = *access;
            operation = &commissioning;
        }
    }
    if (!operation)
        return faultReply(Fault{500, QStringLiteral("Receiver"), {QStringLiteral("ActionNotSupported")},
                                QStringLiteral("Optional Action Not Implemented")});

    const QString name = message.payload.name;
    // A device without an administrator lets anyone see and create users:
    // that is how it is set up (ONVIF's factory state).
    const bool anonymousSetup = factoryState()
        && (m_behaviour.open || name == QLatin1String("GetUsers") || name == QLatin1String("CreateUsers"));
    // Some devices with users answer an anonymous GetUsers with an empty
    // list rather than a refusal.
    const bool credentialsGiven =
        !authorization.isEmpty() || message.header.child(OnvifSoap::kSecurity, u"Security") != nullptr;
    if (m_behaviour.hiddenUsers && name == QLatin1String("GetUsers") && !credentialsGiven) {
        OnvifSoap::Writer writer;
        writer.beginBody();
        writer.xml().writeEmptyElement(OnvifSoap::kDevice, QStringLiteral("GetUsersResponse"));
        HttpReply reply;
        reply.body = writer.finish();
        return reply;
    }
    if (operation->access != Access::PreAuth && !anonymousSetup) {
        bool stale = false;
        const std::optional<Level> level = authenticate(message, method, target, authorization, nowMs, stale);
        if (!level)
            return notAuthorized(nowMs, stale);
        const Level needed = operation->access == Access::ReadSystem ? Level::User : Level::Administrator;
        if (*level < needed)
            return faultReply(Fault{400, sender, {QStringLiteral("NotAuthorized")},
                                    QStringLiteral("Sender not Authorized")});
    }
    if (m_behaviour.faults && operation->access == Access::Write)
        return faultReply(Fault{500, QStringLiteral("Receiver"), {QStringLiteral("Action")},
                                m_behaviour.faultReason.isEmpty() ? QStringLiteral("The requested action failed")
                                                                  : m_behaviour.faultReason});

    OnvifSoap::Writer writer;
    writer.beginBody();
    HttpReply reply;
    reply.delayMs = m_behaviour.delayMs;
    if (const std::optional<Fault> fault = dispatch(name, message.payload, writer, reply, nowMs))
        return faultReply(*fault);
    reply.body = spoil(writer.finish(), false);
    return reply;
}

std::optional<OnvifDevice::Fault> OnvifDevice::dispatch(const QString &operation, const Element &payload,
                                                        OnvifSoap::Writer &w, HttpReply &reply, qint64 nowMs)
{
    using S = OnvifSoap;
    QXmlStreamWriter &x = w.xml();
    auto begin = [&](const QString &name) { x.writeStartElement(S::kDevice, name); };
    auto end = [&] { x.writeEndElement(); };
    auto empty = [&](const QString &name) { x.writeEmptyElement(S::kDevice, name); };

    if (operation == QLatin1String("GetSystemDateAndTime")) {
        writeDateTime(w, nowMs);
    } else if (operation == QLatin1String("GetServices")) {
        bool include = false;
        if (!parseBool(payload.childText(S::kDevice, u"IncludeCapability"), include))
            return Fault{400, QStringLiteral("Sender"), {QStringLiteral("InvalidArgVal")},
                         QStringLiteral("IncludeCapability must be a boolean")};
        writeServices(w, include);
    } else if (operation == QLatin1String("GetCapabilities")) {
        for (const Element *category : payload.childrenNamed(S::kDevice, u"Category")) {
            const QString c = category->text.trimmed();
            if (c != QLatin1String("All") && c != QLatin1String("Device") && c != QLatin1String("Media"))
                return Fault{500, QStringLiteral("Receiver"),
                             {QStringLiteral("ActionNotSupported"), QStringLiteral("NoSuchService")},
                             QStringLiteral("No such service: ") + c};
        }
        writeCapabilities(w);
    } else if (operation == QLatin1String("GetDeviceInformation")) {
        begin(QStringLiteral("GetDeviceInformationResponse"));
        w.element(S::kDevice, QStringLiteral("Manufacturer"), m_manufacturer);
        w.element(S::kDevice, QStringLiteral("Model"), m_model);
        w.element(S::kDevice, QStringLiteral("FirmwareVersion"), m_firmware);
        w.element(S::kDevice, QStringLiteral("SerialNumber"), m_serial);
        w.element(S::kDevice, QStringLiteral("HardwareId"), m_hardwareId);
        end();
    } else if (operation == QLatin1String("GetNetworkInterfaces")) {
        writeInterfaces(w);
    } else if (operation == QLatin1String("GetNetworkDefaultGateway")) {
        begin(QStringLiteral("GetNetworkDefaultGatewayResponse"));
        begin(QStringLiteral("NetworkGateway"));
        for (quint32 g : std::as_const(m_net.gateways))
            w.element(S::kSchema, QStringLiteral("IPv4Address"), ipv4Text(g));
        for (const QString &g : std::as_const(m_net.gateways6))
            w.element(S::kSchema, QStringLiteral("IPv6Address"), g);
        end();
        end();
    } else if (operation == QLatin1String("GetDNS")) {
        begin(QStringLiteral("GetDNSResponse"));
        begin(QStringLiteral("DNSInformation"));
        w.element(S::kSchema, QStringLiteral("FromDHCP"), boolText(m_net.dnsFromDhcp));
        for (const QString &domain : std::as_const(m_net.searchDomains))
            w.element(S::kSchema, QStringLiteral("SearchDomain"), domain);
        const QString element = m_net.dnsFromDhcp ? QStringLiteral("DNSFromDHCP") : QStringLiteral("DNSManual");
        for (const QString &server : std::as_const(m_net.dns)) {
            const bool v6 = server.contains(QLatin1Char(':'));
            x.writeStartElement(S::kSchema, element);
            w.element(S::kSchema, QStringLiteral("Type"), v6 ? QStringLiteral("IPv6") : QStringLiteral("IPv4"));
            w.element(S::kSchema, v6 ? QStringLiteral("IPv6Address") : QStringLiteral("IPv4Address"), server);
            x.writeEndElement();
        }
        end();
        end();
    } else if (operation == QLatin1String("GetNetworkProtocols")) {
        begin(QStringLiteral("GetNetworkProtocolsResponse"));
        const struct
        {
            const char *name;
            bool enabled;
            int port;
        } protocols[] = {{"HTTP", true, m_net.httpPort}, {"HTTPS", httpsPort() != 0, httpsPort() ? httpsPort() : 443}, {"RTSP", m_net.rtspEnabled, m_net.rtspPort}};
        for (const auto &p : protocols) {
            begin(QStringLiteral("NetworkProtocols"));
            w.element(S::kSchema, QStringLiteral("Name"), QString::fromLatin1(p.name));
            w.element(S::kSchema, QStringLiteral("Enabled"), boolText(p.enabled));
            w.element(S::kSchema, QStringLiteral("Port"), QString::number(p.port));
            end();
        }
        end();
    } else if (operation == QLatin1String("GetHostname")) {
        begin(QStringLiteral("GetHostnameResponse"));
        begin(QStringLiteral("HostnameInformation"));
        w.element(S::kSchema, QStringLiteral("FromDHCP"), QStringLiteral("false"));
        w.element(S::kSchema, QStringLiteral("Name"), m_net.hostname);
        end();
        end();
    } else if (operation == QLatin1String("GetScopes")) {
        begin(QStringLiteral("GetScopesResponse"));
        for (const QString &scope : scopes()) {
            const bool configurable = scope.contains(QLatin1String("/name/")) || scope.contains(QLatin1String("/location/"));
            begin(QStringLiteral("Scopes"));
            w.element(S::kSchema, QStringLiteral("ScopeDef"),
                      configurable ? QStringLiteral("Configurable") : QStringLiteral("Fixed"));
            w.element(S::kSchema, QStringLiteral("ScopeItem"), scope);
            end();
        }
        end();
    } else if (operation == QLatin1String("GetUsers")) {
        static const QString kLevels[] = {QStringLiteral("Anonymous"), QStringLiteral("User"),
                                          QStringLiteral("Operator"), QStringLiteral("Administrator")};
        begin(QStringLiteral("GetUsersResponse"));
        for (const User &u : std::as_const(m_users)) {
            begin(QStringLiteral("User"));
            w.element(S::kSchema, QStringLiteral("Username"), u.name);
            w.element(S::kSchema, QStringLiteral("UserLevel"), kLevels[int(u.level)]);
            end();
        }
        end();
    } else if (operation == QLatin1String("SetNetworkInterfaces")) {
        return setNetworkInterfaces(payload, w, reply);
    } else if (operation == QLatin1String("SetNetworkDefaultGateway")) {
        if (std::optional<Fault> fault = setGateway(payload))
            return fault;
        empty(QStringLiteral("SetNetworkDefaultGatewayResponse"));
    } else if (operation == QLatin1String("SetDNS")) {
        if (std::optional<Fault> fault = setDns(payload))
            return fault;
        empty(QStringLiteral("SetDNSResponse"));
    } else if (operation == QLatin1String("SetNetworkProtocols")) {
        if (std::optional<Fault> fault = setProtocols(payload, reply))
            return fault;
        empty(QStringLiteral("SetNetworkProtocolsResponse"));
    } else if (operation == QLatin1String("CreateUsers")) {
        if (std::optional<Fault> fault = createUsers(payload))
            return fault;
        empty(QStringLiteral("CreateUsersResponse"));
    } else if (operation == QLatin1String("SetUser")) {
        if (std::optional<Fault> fault = setUsers(payload))
            return fault;
        empty(QStringLiteral("SetUserResponse"));
    } else if (operation == QLatin1String("SystemReboot")) {
        begin(QStringLiteral("SystemRebootResponse"));
        w.element(S::kDevice, QStringLiteral("Message"), QStringLiteral("Rebooting"));
        end();
        reply.after = After::Reboot;
    } else {
        return dispatchCommissioning(payload, w, reply, nowMs);
    }
    return std::nullopt;
}

OnvifDevice::Fault OnvifDevice::invalidArgVal(const QString &subcode, const QString &reason)
{
    return Fault{400, QStringLiteral("Sender"), {QStringLiteral("InvalidArgVal"), subcode}, reason};
}

OnvifDevice::Fault OnvifDevice::invalidArgs(const QString &reason)
{
    return Fault{400, QStringLiteral("Sender"), {QStringLiteral("InvalidArgs")}, reason};
}

OnvifDevice::Fault OnvifDevice::prohibited(const QString &subcode, const QString &reason)
{
    return Fault{400, QStringLiteral("Sender"), {QStringLiteral("OperationProhibited"), subcode}, reason};
}

// ------------------------------------------------------------- changes
//
// Every change is checked whole before any of it is applied: a request
// refused with a fault leaves the device as it was.

std::optional<OnvifDevice::Fault> OnvifDevice::setNetworkInterfaces(const Element &payload, OnvifSoap::Writer &w,
                                                                    HttpReply &reply)
{
    using S = OnvifSoap;
    const QString badInterface = QStringLiteral("InvalidNetworkInterface");
    if (payload.childText(S::kDevice, u"InterfaceToken") != interfaceToken())
        return invalidArgVal(badInterface, QStringLiteral("No such network interface"));
    const Element *ni = payload.child(S::kDevice, u"NetworkInterface");
    if (!ni)
        return invalidArgs(QStringLiteral("NetworkInterface is missing"));

    InterfaceConfig next = m_pendingInterface.value_or(static_cast<const InterfaceConfig &>(m_net));
    bool flag = true;
    if (const Element *enabled = ni->child(S::kSchema, u"Enabled")) {
        if (!parseBool(enabled->text, flag))
            return invalidArgVal(badInterface, QStringLiteral("Enabled must be a boolean"));
        // The device's only interface: turning it off would lose the device.
        if (!flag)
            return invalidArgVal(badInterface, QStringLiteral("The interface cannot be disabled"));
    }
    if (const Element *mtu = ni->child(S::kSchema, u"MTU")) {
        int value = 0;
        if (!parseInt(mtu->text, value) || value < 576 || value > 9000)
            return invalidArgVal(QStringLiteral("InvalidMtuValue"), QStringLiteral("MTU must be 576..9000"));
        next.mtu = value;
    }
    if (const Element *v4 = ni->child(S::kSchema, u"IPv4")) {
        const QString badAddress = QStringLiteral("InvalidIPv4Address");
        if (const Element *enabled = v4->child(S::kSchema, u"Enabled")) {
            if (!parseBool(enabled->text, flag) || !flag)
                return invalidArgVal(badAddress, QStringLiteral("IPv4 cannot be disabled"));
            next.ipv4Enabled = true;
        }
        std::optional<bool> dhcp;
        if (const Element *d = v4->child(S::kSchema, u"DHCP")) {
            if (!parseBool(d->text, flag))
                return invalidArgVal(badAddress, QStringLiteral("DHCP must be a boolean"));
            dhcp = flag;
        }
        const std::vector<const Element *> manual = v4->childrenNamed(S::kSchema, u"Manual");
        if (manual.size() > 1)
            return invalidArgVal(badAddress, QStringLiteral("One manual IPv4 address at most"));
        if (dhcp == true) {
            // The simulated DHCP server leases the device the address it has.
            next.dhcp = true;
            next.ipv4Enabled = true;
        } else if (!manual.empty()) {
            quint32 address = 0;
            int prefix = 0;
            if (!parseIpv4(manual.front()->childText(S::kSchema, u"Address"), address) || !usableHost(address))
                return invalidArgVal(badAddress, QStringLiteral("Not a usable IPv4 address"));
            if (!parseInt(manual.front()->childText(S::kSchema, u"PrefixLength"), prefix) || prefix < 1 || prefix > 32)
                return invalidArgVal(badAddress, QStringLiteral("PrefixLength must be 1..32"));
            const quint32 mask = prefix == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefix);
            // The network's own address and its broadcast address are no
            // host's (except in /31 and /32 networks).
            if (prefix < 31 && ((address & ~mask) == 0 || (address & ~mask) == ~mask))
                return invalidArgVal(badAddress, QStringLiteral("Not a host address in that network"));
            next.ipv4 = address;
            next.prefix = prefix;
            next.dhcp = false;
            next.ipv4Enabled = true;
        } else if (dhcp == false) {
            next.dhcp = false;
        }
    }
    if (const Element *v6 = ni->child(S::kSchema, u"IPv6")) {
        const QString badAddress = QStringLiteral("InvalidIPv6Address");
        if (m_ipv6LinkLocal.isEmpty())
            return invalidArgVal(badAddress, QStringLiteral("The device has no IPv6"));
        if (const Element *enabled = v6->child(S::kSchema, u"Enabled")) {
            if (!parseBool(enabled->text, flag))
                return invalidArgVal(badAddress, QStringLiteral("Enabled must be a boolean"));
            next.ipv6Enabled = flag;
        }
        if (const Element *d = v6->child(S::kSchema, u"DHCP")) {
            static const QStringList modes{QStringLiteral("Auto"), QStringLiteral("Stateful"),
                                           QStringLiteral("Stateless"), QStringLiteral("Off")};
            if (!modes.contains(d->text.trimmed()))
                return invalidArgVal(badAddress, QStringLiteral("DHCP must be Auto, Stateful, Stateless or Off"));
            next.ipv6Dhcp = d->text.trimmed();
        }
        const std::vector<const Element *> manual = v6->childrenNamed(S::kSchema, u"Manual");
        if (manual.size() > 4)
            return invalidArgVal(badAddress, QStringLiteral("Four manual IPv6 addresses at most"));
        if (!manual.empty() || v6->child(S::kSchema, u"DHCP"))
            next.ipv6Manual.clear();
        for (const Element *m : manual) {
            const QString address = m->childText(S::kSchema, u"Address");
            int prefix = 0;
            if (!validIpv6(address) || !parseInt(m->childText(S::kSchema, u"PrefixLength"), prefix) || prefix < 1
                || prefix > 128)
                return invalidArgVal(badAddress, QStringLiteral("Not a usable IPv6 address"));
            next.ipv6Manual.append({address, prefix});
        }
        // Its only way in: turning it off would lose the device.
        if (!next.ipv4Enabled && !next.ipv6Enabled)
            return invalidArgVal(badAddress, QStringLiteral("IPv6 cannot be disabled while IPv4 is off"));
    }

    if (m_behaviour.interfaceNotApplied) {
        // An empty success, and nothing changed.
        w.xml().writeEmptyElement(S::kDevice, QStringLiteral("SetNetworkInterfacesResponse"));
        return std::nullopt;
    }
    const bool reboot = m_behaviour.rebootNeeded;
    if (reboot) {
        m_pendingInterface = next;
    } else {
        const QStringList before = serviceAddresses();
        static_cast<InterfaceConfig &>(m_net) = next;
        if (serviceAddresses() != before)
            ++m_metadataVersion;  // new XAddrs
        reply.after = After::Move;
    }
    w.xml().writeStartElement(S::kDevice, QStringLiteral("SetNetworkInterfacesResponse"));
    w.element(S::kDevice, QStringLiteral("RebootNeeded"), boolText(reboot));
    w.xml().writeEndElement();
    return std::nullopt;
}

std::optional<OnvifDevice::Fault> OnvifDevice::setGateway(const Element &payload)
{
    const QString bad = QStringLiteral("InvalidGatewayAddress");
    QList<quint32> v4;
    QStringList v6;
    for (const Element *e : payload.childrenNamed(OnvifSoap::kDevice, u"IPv4Address")) {
        quint32 address = 0;
        if (!parseIpv4(e->text.trimmed(), address) || !usableHost(address))
            return invalidArgVal(bad, QStringLiteral("Not a usable IPv4 address"));
        v4.append(address);
    }
    for (const Element *e : payload.childrenNamed(OnvifSoap::kDevice, u"IPv6Address")) {
        if (!validIpv6(e->text.trimmed()))
            return invalidArgVal(bad, QStringLiteral("Not an IPv6 address"));
        v6.append(e->text.trimmed());
    }
    if (v4.size() > 4 || v6.size() > 4)
        return invalidArgVal(bad, QStringLiteral("Four gateways of each family at most"));
    if (m_behaviour.gatewayNotApplied)
        return std::nullopt;
    m_net.gateways = v4;
    m_net.gateways6 = v6;
    return std::nullopt;
}

std::optional<OnvifDevice::Fault> OnvifDevice::setDns(const Element &payload)
{
    const QString bad = QStringLiteral("InvalidIPv4Address");
    bool fromDhcp = false;
    // Some clients leave the (required) FromDHCP out when they give
    // servers: taken as false, as devices in the field take it.
    const Element *dhcpElement = payload.child(OnvifSoap::kDevice, u"FromDHCP");
    if (dhcpElement && !parseBool(dhcpElement->text, fromDhcp))
        return invalidArgs(QStringLiteral("FromDHCP must be a boolean"));
    QStringList domains;
    for (const Element *e : payload.childrenNamed(OnvifSoap::kDevice, u"SearchDomain")) {
        const QString domain = e->text.trimmed();
        if (domain.isEmpty() || domain.size() > 253 || domain.contains(QLatin1Char(' ')))
            return invalidArgVal(QStringLiteral("InvalidArgVal"), QStringLiteral("Not a domain name"));
        domains.append(domain);
    }
    QStringList servers;
    for (const Element *e : payload.childrenNamed(OnvifSoap::kDevice, u"DNSManual")) {
        const QString type = e->childText(OnvifSoap::kSchema, u"Type");
        if (type == QLatin1String("IPv4")) {
            quint32 address = 0;
            if (!parseIpv4(e->childText(OnvifSoap::kSchema, u"IPv4Address"), address) || !usableHost(address))
                return invalidArgVal(bad, QStringLiteral("Not a usable IPv4 address"));
            servers.append(ipv4Text(address));
        } else if (type == QLatin1String("IPv6")) {
            const QString address = e->childText(OnvifSoap::kSchema, u"IPv6Address");
            if (!validIpv6(address))
                return invalidArgVal(QStringLiteral("InvalidIPv6Address"), QStringLiteral("Not an IPv6 address"));
            servers.append(address);
        } else {
            return invalidArgVal(bad, QStringLiteral("Type must be IPv4 or IPv6"));
        }
    }
    if (domains.size() > 6 || servers.size() > 4)
        return invalidArgVal(bad, QStringLiteral("Too many domains or servers"));
    m_net.dnsFromDhcp = fromDhcp;
    m_net.searchDomains = domains;
    // From DHCP: the simulated DHCP server hands out the gateway as DNS.
    if (fromDhcp)
        servers = m_net.gateways.isEmpty() ? QStringList() : QStringList{ipv4Text(m_net.gateways.first())};
    m_net.dns = servers;
    return std::nullopt;
}

std::optional<OnvifDevice::Fault> OnvifDevice::setProtocols(const Element &payload, HttpReply &reply)
{
    const QString unsupported = QStringLiteral("ServiceNotSupported");
    quint16 http = m_net.httpPort;
    quint16 rtsp = m_net.rtspPort;
    bool rtspEnabled = m_net.rtspEnabled;
    const std::vector<const Element *> protocols = payload.childrenNamed(OnvifSoap::kDevice, u"NetworkProtocols");
    if (protocols.empty())
        return invalidArgs(QStringLiteral("NetworkProtocols is missing"));
    for (const Element *p : protocols) {
        const QString name = p->childText(OnvifSoap::kSchema, u"Name");
        bool enabled = false;
        if (!parseBool(p->childText(OnvifSoap::kSchema, u"Enabled"), enabled))
            return invalidArgs(QStringLiteral("Enabled must be a boolean"));
        const std::vector<const Element *> ports = p->childrenNamed(OnvifSoap::kSchema, u"Port");
        if (ports.empty() || ports.size() > 1)
            return invalidArgVal(QStringLiteral("InvalidArgVal"), QStringLiteral("One port per protocol"));
        int port = 0;
        if (!parseInt(ports.front()->text, port) || port < 1 || port > 65535)
            return invalidArgVal(QStringLiteral("InvalidArgVal"), QStringLiteral("Port must be 1..65535"));
        if (name == QLatin1String("HTTP")) {
            // The device service itself runs on it.
            if (!enabled)
                return invalidArgVal(unsupported, QStringLiteral("HTTP cannot be turned off"));
            http = quint16(port);
        } else if (name == QLatin1String("HTTPS")) {
            if (enabled && (!httpsPort() || port != httpsPort()))
                return invalidArgVal(unsupported, QStringLiteral("HTTPS runs on its own port only"));
        } else if (name == QLatin1String("RTSP")) {
            rtsp = quint16(port);
            rtspEnabled = enabled;
        } else {
            return invalidArgVal(unsupported, QStringLiteral("Unknown protocol ") + name);
        }
    }
    if (rtspEnabled && rtsp == http)
        return invalidArgVal(QStringLiteral("PortAlreadyInUse"), QStringLiteral("HTTP and RTSP on one port"));
    if (http != m_net.httpPort) {
        reply.after = After::Move;
        ++m_metadataVersion;  // new XAddrs
    }
    m_net.httpPort = http;
    m_net.rtspPort = rtsp;
    m_net.rtspEnabled = rtspEnabled;
    return std::nullopt;
}

namespace {

struct UserArgs
{
    QString name;
    std::optional<QByteArray> password;
    QString level;
};

UserArgs userArgs(const Element &user)
{
    UserArgs args;
    args.name = user.childText(OnvifSoap::kSchema, u"Username");
    if (const Element *password = user.child(OnvifSoap::kSchema, u"Password"))
        args.password = password->text.toUtf8();
    args.level = user.childText(OnvifSoap::kSchema, u"UserLevel");
    return args;
}

} // namespace

std::optional<OnvifDevice::Fault> OnvifDevice::createUsers(const Element &payload)
{
    const std::vector<const Element *> users = payload.childrenNamed(OnvifSoap::kDevice, u"User");
    if (users.empty())
        return invalidArgs(QStringLiteral("User is missing"));
    QList<User> added;
    for (const Element *e : users) {
        const UserArgs args = userArgs(*e);
        if (args.name.isEmpty())
            return prohibited(QStringLiteral("UsernameTooShort"), QStringLiteral("The user name is empty"));
        if (args.name.size() > kMaxUsernameLength)
            return prohibited(QStringLiteral("UsernameTooLong"), QStringLiteral("The user name is too long"));
        if (!args.password || args.password->isEmpty())
            return prohibited(QStringLiteral("PasswordTooWeak"), QStringLiteral("A password is needed"));
        if (args.password->size() > kMaxPasswordLength)
            return prohibited(QStringLiteral("PasswordTooLong"), QStringLiteral("The password is too long"));
        Level level = Level::User;
        if (args.level == QLatin1String("Administrator"))
            level = Level::Administrator;
        else if (args.level == QLatin1String("Operator"))
            level = Level::Operator;
        else if (args.level == QLatin1String("Anonymous"))
            return prohibited(QStringLiteral("AnonymousNotAllowed"), QStringLiteral("No anonymous users"));
        else if (args.level != QLatin1String("User"))
            return invalidArgVal(QStringLiteral("InvalidArgVal"), QStringLiteral("Unknown user level"));
        const bool clash = findUser(args.name)
            || std::any_of(added.begin(), added.end(), [&](const User &u) { return u.name == args.name; });
        if (clash)
            return prohibited(QStringLiteral("UsernameClash"), QStringLiteral("The user exists"));
        added.append(User{args.name, *args.password, level});
    }
    if (m_users.size() + added.size() > kMaxUsers)
        return prohibited(QStringLiteral("TooManyUsers"), QStringLiteral("Too many users"));
    const bool wasFactory = factoryState();
    m_users.append(added);
    if (wasFactory && !factoryState())
        ++m_metadataVersion;  // the FactoryDefault scope is gone
    return std::nullopt;
}

std::optional<OnvifDevice::Fault> OnvifDevice::setUsers(const Element &payload)
{
    const std::vector<const Element *> users = payload.childrenNamed(OnvifSoap::kDevice, u"User");
    if (users.empty())
        return invalidArgs(QStringLiteral("User is missing"));
    QList<User> next = m_users;
    for (const Element *e : users) {
        const UserArgs args = userArgs(*e);
        auto it = std::find_if(next.begin(), next.end(), [&](const User &u) { return u.name == args.name; });
        if (it == next.end())
            return invalidArgVal(QStringLiteral("UsernameMissing"), QStringLiteral("No such user"));
        if (args.password) {
            if (args.password->isEmpty())
                return prohibited(QStringLiteral("PasswordTooWeak"), QStringLiteral("A password is needed"));
            if (args.password->size() > kMaxPasswordLength)
                return prohibited(QStringLiteral("PasswordTooLong"), QStringLiteral("The password is too long"));
            it->password = *args.password;
        }
        if (args.level == QLatin1String("Administrator"))
            it->level = Level::Administrator;
        else if (args.level == QLatin1String("Operator"))
            it->level = Level::Operator;
        else if (args.level == QLatin1String("User"))
            it->level = Level::User;
        else if (args.level == QLatin1String("Anonymous"))
            return prohibited(QStringLiteral("AnonymousNotAllowed"), QStringLiteral("No anonymous users"));
        else
            return invalidArgVal(QStringLiteral("InvalidArgVal"), QStringLiteral("Unknown user level"));
    }
    // Demoting every administrator would lock everyone out for good.
    if (std::none_of(next.begin(), next.end(), [](const User &u) { return u.level == Level::Administrator; }))
        return prohibited(QStringLiteral("FixedUser"), QStringLiteral("The last administrator must stay"));
    m_users = next;
    return std::nullopt;
}

// ------------------------------------------------------------- answers

void OnvifDevice::writeDateTime(OnvifSoap::Writer &w, qint64 nowMs) const
{
    using S = OnvifSoap;
    QXmlStreamWriter &x = w.xml();
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(deviceTimeMs(nowMs), Qt::UTC);
    x.writeStartElement(S::kDevice, QStringLiteral("GetSystemDateAndTimeResponse"));
    x.writeStartElement(S::kDevice, QStringLiteral("SystemDateAndTime"));
    w.element(S::kSchema, QStringLiteral("DateTimeType"), m_ntpTime ? QStringLiteral("NTP") : QStringLiteral("Manual"));
    w.element(S::kSchema, QStringLiteral("DaylightSavings"), boolText(m_daylightSavings));
    x.writeStartElement(S::kSchema, QStringLiteral("TimeZone"));
    w.element(S::kSchema, QStringLiteral("TZ"), m_timeZone);
    x.writeEndElement();
    for (const QString &name : {QStringLiteral("UTCDateTime"), QStringLiteral("LocalDateTime")}) {
        const QDateTime t = name == QLatin1String("UTCDateTime") ? utc : utc.addSecs(localOffsetSeconds());
        x.writeStartElement(S::kSchema, name);
        x.writeStartElement(S::kSchema, QStringLiteral("Time"));
        w.element(S::kSchema, QStringLiteral("Hour"), QString::number(t.time().hour()));
        w.element(S::kSchema, QStringLiteral("Minute"), QString::number(t.time().minute()));
        w.element(S::kSchema, QStringLiteral("Second"), QString::number(t.time().second()));
        x.writeEndElement();
        x.writeStartElement(S::kSchema, QStringLiteral("Date"));
        w.element(S::kSchema, QStringLiteral("Year"), QString::number(t.date().year()));
        w.element(S::kSchema, QStringLiteral("Month"), QString::number(t.date().month()));
        w.element(S::kSchema, QStringLiteral("Day"), QString::number(t.date().day()));
        x.writeEndElement();
        x.writeEndElement();
    }
    x.writeEndElement();
    x.writeEndElement();
}

void OnvifDevice::writeServices(OnvifSoap::Writer &w, bool includeCapability) const
{
    using S = OnvifSoap;
    QXmlStreamWriter &x = w.xml();
    x.writeStartElement(S::kDevice, QStringLiteral("GetServicesResponse"));
    // Every service it serves, each with its own XAddr: clients find the
    // media service here before they ask for profiles.
    for (const bool media : {false, true}) {
        x.writeStartElement(S::kDevice, QStringLiteral("Service"));
        w.element(S::kDevice, QStringLiteral("Namespace"), media ? S::kMedia : S::kDevice);
        w.element(S::kDevice, QStringLiteral("XAddr"), media ? mediaAddress() : serviceAddress());
        if (includeCapability) {
            x.writeStartElement(S::kDevice, QStringLiteral("Capabilities"));
            if (media)
                writeMediaServiceCapabilities(w);
            else
                writeDeviceServiceCapabilities(w);
            x.writeEndElement();
        }
        x.writeStartElement(S::kDevice, QStringLiteral("Version"));
        w.element(S::kSchema, QStringLiteral("Major"), QStringLiteral("2"));
        w.element(S::kSchema, QStringLiteral("Minor"), media ? QStringLiteral("60") : QStringLiteral("40"));
        x.writeEndElement();
        x.writeEndElement();
    }
    x.writeEndElement();
}

void OnvifDevice::writeCapabilities(OnvifSoap::Writer &w) const
{
    using S = OnvifSoap;
    QXmlStreamWriter &x = w.xml();
    x.writeStartElement(S::kDevice, QStringLiteral("GetCapabilitiesResponse"));
    x.writeStartElement(S::kDevice, QStringLiteral("Capabilities"));
    x.writeStartElement(S::kSchema, QStringLiteral("Device"));
    w.element(S::kSchema, QStringLiteral("XAddr"), serviceAddress());
    x.writeStartElement(S::kSchema, QStringLiteral("Network"));
    w.element(S::kSchema, QStringLiteral("IPFilter"), QStringLiteral("false"));
    w.element(S::kSchema, QStringLiteral("ZeroConfiguration"), QStringLiteral("false"));
    w.element(S::kSchema, QStringLiteral("IPVersion6"), boolText(!m_ipv6LinkLocal.isEmpty()));
    w.element(S::kSchema, QStringLiteral("DynDNS"), QStringLiteral("false"));
    x.writeEndElement();
    x.writeStartElement(S::kSchema, QStringLiteral("System"));
    for (const char *flag : {"DiscoveryResolve", "DiscoveryBye", "RemoteDiscovery", "SystemBackup",
                             "SystemLogging", "FirmwareUpgrade"})
        w.element(S::kSchema, QString::fromLatin1(flag), boolText(qstrcmp(flag, "DiscoveryBye") == 0));
    x.writeStartElement(S::kSchema, QStringLiteral("SupportedVersions"));
    w.element(S::kSchema, QStringLiteral("Major"), QStringLiteral("2"));
    w.element(S::kSchema, QStringLiteral("Minor"), QStringLiteral("40"));
    x.writeEndElement();
    x.writeEndElement();  // System
    x.writeEndElement();  // Device
    x.writeStartElement(S::kSchema, QStringLiteral("Media"));
    w.element(S::kSchema, QStringLiteral("XAddr"), mediaAddress());
    x.writeStartElement(S::kSchema, QStringLiteral("StreamingCapabilities"));
    w.element(S::kSchema, QStringLiteral("RTPMulticast"), QStringLiteral("false"));
    w.element(S::kSchema, QStringLiteral("RTP_TCP"), QStringLiteral("true"));
    w.element(S::kSchema, QStringLiteral("RTP_RTSP_TCP"), QStringLiteral("true"));
    x.writeEndElement();
    x.writeEndElement();  // Media
    x.writeEndElement();  // Capabilities
    x.writeEndElement();
}

void OnvifDevice::writeInterfaces(OnvifSoap::Writer &w) const
{
    using S = OnvifSoap;
    QXmlStreamWriter &x = w.xml();
    x.writeStartElement(S::kDevice, QStringLiteral("GetNetworkInterfacesResponse"));
    x.writeStartElement(S::kDevice, QStringLiteral("NetworkInterfaces"));
    x.writeAttribute(QStringLiteral("token"), interfaceToken());
    w.element(S::kSchema, QStringLiteral("Enabled"), QStringLiteral("true"));
    x.writeStartElement(S::kSchema, QStringLiteral("Info"));
    w.element(S::kSchema, QStringLiteral("Name"), interfaceToken());
    w.element(S::kSchema, QStringLiteral("HwAddress"), m_mac);
    w.element(S::kSchema, QStringLiteral("MTU"), QString::number(m_net.mtu));
    x.writeEndElement();
    x.writeStartElement(S::kSchema, QStringLiteral("Link"));
    for (const QString &settings : {QStringLiteral("AdminSettings"), QStringLiteral("OperSettings")}) {
        x.writeStartElement(S::kSchema, settings);
        w.element(S::kSchema, QStringLiteral("AutoNegotiation"), QStringLiteral("true"));
        w.element(S::kSchema, QStringLiteral("Speed"), QStringLiteral("100"));
        w.element(S::kSchema, QStringLiteral("Duplex"), QStringLiteral("Full"));
        x.writeEndElement();
    }
    w.element(S::kSchema, QStringLiteral("InterfaceType"), QStringLiteral("6"));  // ethernetCsmacd
    x.writeEndElement();
    x.writeStartElement(S::kSchema, QStringLiteral("IPv4"));
    w.element(S::kSchema, QStringLiteral("Enabled"), boolText(m_net.ipv4Enabled));
    x.writeStartElement(S::kSchema, QStringLiteral("Config"));
    // With IPv4 off the device holds no IPv4 address to report.
    if (m_net.ipv4Enabled) {
        x.writeStartElement(S::kSchema, m_net.dhcp ? QStringLiteral("FromDHCP") : QStringLiteral("Manual"));
        w.element(S::kSchema, QStringLiteral("Address"), addressText());
        w.element(S::kSchema, QStringLiteral("PrefixLength"), QString::number(m_net.prefix));
        x.writeEndElement();
    }
    w.element(S::kSchema, QStringLiteral("DHCP"), boolText(m_net.dhcp && m_net.ipv4Enabled));
    x.writeEndElement();  // Config
    x.writeEndElement();  // IPv4
    if (!m_ipv6LinkLocal.isEmpty()) {
        x.writeStartElement(S::kSchema, QStringLiteral("IPv6"));
        w.element(S::kSchema, QStringLiteral("Enabled"), boolText(m_net.ipv6Enabled));
        x.writeStartElement(S::kSchema, QStringLiteral("Config"));
        w.element(S::kSchema, QStringLiteral("AcceptRouterAdvert"), QStringLiteral("false"));
        w.element(S::kSchema, QStringLiteral("DHCP"), m_net.ipv6Dhcp);
        for (const auto &manual : std::as_const(m_net.ipv6Manual)) {
            x.writeStartElement(S::kSchema, QStringLiteral("Manual"));
            w.element(S::kSchema, QStringLiteral("Address"), manual.first);
            w.element(S::kSchema, QStringLiteral("PrefixLength"), QString::number(manual.second));
            x.writeEndElement();
        }
        x.writeStartElement(S::kSchema, QStringLiteral("LinkLocal"));
        w.element(S::kSchema, QStringLiteral("Address"), m_ipv6LinkLocal);
        w.element(S::kSchema, QStringLiteral("PrefixLength"), QStringLiteral("64"));
        x.writeEndElement();
        x.writeEndElement();  // Config
        x.writeEndElement();  // IPv6
    }
    x.writeEndElement();
    x.writeEndElement();
}

// -------------------------------------------------------- WS-Discovery

bool OnvifDevice::scopeMatches(const QString &probeScope, const QString &deviceScope)
{
    const QUrl probe(probeScope, QUrl::StrictMode);
    const QUrl device(deviceScope, QUrl::StrictMode);
    if (!probe.isValid() || !device.isValid())
        return false;
    if (probe.scheme().compare(device.scheme(), Qt::CaseInsensitive) != 0
        || probe.authority().compare(device.authority(), Qt::CaseInsensitive) != 0)
        return false;
    // Segment by segment, so that ".../name/Cam" does not select
    // ".../name/Camera 1"; "." and ".." segments take no part.
    auto segments = [](const QUrl &url) {
        QStringList list = url.path(QUrl::FullyEncoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
        list.removeAll(QStringLiteral("."));
        list.removeAll(QStringLiteral(".."));
        return list;
    };
    const QStringList want = segments(probe);
    const QStringList have = segments(device);
    if (want.size() > have.size())
        return false;
    for (qsizetype i = 0; i < want.size(); ++i) {
        if (want[i] != have[i])
            return false;
    }
    return true;
}

bool OnvifDevice::matches(const Element &probe) const
{
    using S = OnvifSoap;
    if (const Element *types = probe.child(S::kDiscovery, u"Types")) {
        for (const QString &qname : types->text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
            QString uri;
            QString local;
            if (!types->resolveQName(qname, uri, local))
                return false;
            const bool known = (uri == S::kNetwork && local == QLatin1String("NetworkVideoTransmitter"))
                || (uri == S::kDevice && local == QLatin1String("Device"));
            if (!known)
                return false;
        }
    }
    if (const Element *scopes = probe.child(S::kDiscovery, u"Scopes")) {
        const QString matchBy = scopes->attribute(QString(), u"MatchBy");
        const bool exact = matchBy == QLatin1String("http://schemas.xmlsoap.org/ws/2005/04/discovery/strcmp0");
        if (!matchBy.isEmpty() && !exact && matchBy != QLatin1String("http://schemas.xmlsoap.org/ws/2005/04/discovery/rfc3986"))
            return false;
        const QStringList own = this->scopes();
        for (const QString &wanted : scopes->text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
            const bool found = std::any_of(own.begin(), own.end(), [&](const QString &s) {
                return exact ? s == wanted : scopeMatches(wanted, s);
            });
            if (!found)
                return false;
        }
    }
    return true;
}

void OnvifDevice::writeDiscoveryHeader(OnvifSoap::Writer &w, const QString &action, const QString &to,
                                       const QString &relatesTo)
{
    using S = OnvifSoap;
    w.beginHeader();
    w.element(S::kAddressing, QStringLiteral("MessageID"),
              QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!relatesTo.isEmpty())
        w.element(S::kAddressing, QStringLiteral("RelatesTo"), relatesTo);
    w.element(S::kAddressing, QStringLiteral("To"), to);
    w.element(S::kAddressing, QStringLiteral("Action"), QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/") + action);
    w.xml().writeEmptyElement(S::kDiscovery, QStringLiteral("AppSequence"));
    w.xml().writeAttribute(QStringLiteral("InstanceId"), QString::number(m_instanceId));
    w.xml().writeAttribute(QStringLiteral("MessageNumber"), QString::number(++m_messageNumber));
    w.beginBody();
}

void OnvifDevice::writeEndpoint(OnvifSoap::Writer &w) const
{
    w.xml().writeStartElement(OnvifSoap::kAddressing, QStringLiteral("EndpointReference"));
    w.element(OnvifSoap::kAddressing, QStringLiteral("Address"), m_endpoint);
    w.xml().writeEndElement();
}

void OnvifDevice::writeDiscoveryMetadata(OnvifSoap::Writer &w) const
{
    using S = OnvifSoap;
    writeEndpoint(w);
    w.element(S::kDiscovery, QStringLiteral("Types"), QStringLiteral("dn:NetworkVideoTransmitter tds:Device"));
    w.element(S::kDiscovery, QStringLiteral("Scopes"), scopes().join(QLatin1Char(' ')));
    w.element(S::kDiscovery, QStringLiteral("XAddrs"), announcedAddresses().join(QLatin1Char(' ')));
    w.element(S::kDiscovery, QStringLiteral("MetadataVersion"), QString::number(m_metadataVersion));
}

QByteArray OnvifDevice::probeMatches(const QString &relatesTo)
{
    OnvifSoap::Writer w;
    writeDiscoveryHeader(w, QStringLiteral("ProbeMatches"),
                         QStringLiteral("http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"), relatesTo);
    w.xml().writeStartElement(OnvifSoap::kDiscovery, QStringLiteral("ProbeMatches"));
    w.xml().writeStartElement(OnvifSoap::kDiscovery, QStringLiteral("ProbeMatch"));
    writeDiscoveryMetadata(w);
    w.xml().writeEndElement();
    w.xml().writeEndElement();
    return spoil(w.finish(), true);
}

QByteArray OnvifDevice::hello()
{
    OnvifSoap::Writer w;
    writeDiscoveryHeader(w, QStringLiteral("Hello"), QStringLiteral("urn:schemas-xmlsoap-org:ws:2005:04:discovery"),
                         QString());
    w.xml().writeStartElement(OnvifSoap::kDiscovery, QStringLiteral("Hello"));
    writeDiscoveryMetadata(w);
    w.xml().writeEndElement();
    return w.finish();
}

QByteArray OnvifDevice::bye()
{
    OnvifSoap::Writer w;
    writeDiscoveryHeader(w, QStringLiteral("Bye"), QStringLiteral("urn:schemas-xmlsoap-org:ws:2005:04:discovery"),
                         QString());
    w.xml().writeStartElement(OnvifSoap::kDiscovery, QStringLiteral("Bye"));
    writeEndpoint(w);
    w.xml().writeEndElement();
    return w.finish();
}

QByteArray OnvifDevice::spoil(const QByteArray &envelope, bool datagram) const
{
    using Hostile = OnvifBehaviour::Hostile;
    const qsizetype bodyEnd = envelope.lastIndexOf("</env:Body>");
    if (m_behaviour.hostile == Hostile::None || bodyEnd < 0)
        return envelope;
    QByteArray out = envelope;
    switch (m_behaviour.hostile) {
    case Hostile::None:
        break;
    case Hostile::Oversized: {
        // A datagram stays under the 65507 bytes UDP can carry.
        const qsizetype size = datagram ? 65000 - out.size() : 2 * 1024 * 1024;
        out.insert(bodyEnd, "<x:Pad xmlns:x=\"urn:pad\">" + QByteArray(std::max<qsizetype>(0, size), 'A') + "</x:Pad>");
        break;
    }
    case Hostile::Nested: {
        const int depth = datagram ? 5000 : 100000;
        out.insert(bodyEnd, QByteArray("<x:n xmlns:x=\"urn:n\">") + QByteArray("<x:n>").repeated(depth - 1)
                                + QByteArray("</x:n>").repeated(depth));
        break;
    }
    case Hostile::Entities: {
        QByteArray dtd = "<!DOCTYPE env:Envelope [<!ENTITY l0 \"lol\">";
        for (int i = 1; i < 10; ++i) {
            const QByteArray previous = "&l" + QByteArray::number(i - 1) + ';';
            dtd += "<!ENTITY l" + QByteArray::number(i) + " \"" + previous.repeated(10) + "\">";
        }
        dtd += "]>";
        out.insert(out.indexOf("<env:Envelope"), dtd);
        out.insert(out.lastIndexOf("</env:Body>"), "<x:E xmlns:x=\"urn:e\">&l9;</x:E>");
        break;
    }
    case Hostile::Namespace:
        // The prefixes stay: a client that goes by prefix is fooled, one
        // that goes by namespace finds nothing it knows.
        out.replace("\"" + OnvifSoap::kDevice.toUtf8() + '"', "\"" + OnvifSoap::kDevice.toUtf8() + "/spoof\"");
        out.replace("\"" + OnvifSoap::kSchema.toUtf8() + '"', "\"" + OnvifSoap::kSchema.toUtf8() + "/spoof\"");
        out.replace("\"" + OnvifSoap::kDiscovery.toUtf8() + '"', "\"" + OnvifSoap::kDiscovery.toUtf8() + "/spoof\"");
        break;
    }
    return out;
}

void OnvifDevice::reboot()
{
    if (m_pendingInterface) {
        static_cast<InterfaceConfig &>(m_net) = *m_pendingInterface;
        m_pendingInterface.reset();
    }
    // A new instance: clients that saw the old one's message numbers start over.
    ++m_instanceId;
    m_messageNumber = 0;
    ++m_metadataVersion;
}

} // namespace VoskSim
