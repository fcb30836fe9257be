// The operations of a simulated ONVIF device that come after its address
// and first administrator: time and NTP, hostname, factory default, user
// removal, the device service's capabilities, and a media service of one
// profile with its stream URI and a snapshot. Part of OnvifDevice; kept
// apart from the first operations so that each stays readable.

#include "tools/devsim/onvifdevice.h"
#include "tools/devsim/onvifsnapshot.h"

#include <QDateTime>
#include <QHostAddress>
#include <QRegularExpression>
#include <QUrl>

namespace VoskSim {

namespace {

using Element = OnvifSoap::Element;

const QString kProfileToken = QStringLiteral("Profile_1");
const QString kSourceToken = QStringLiteral("VideoSource_1");
constexpr int kMaxNtpServers = 4;

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

bool parseBool(const QString &text, bool &out)
{
    const QString t = text.trimmed();
    if (t != QLatin1String("true") && t != QLatin1String("false") && t != QLatin1String("1") && t != QLatin1String("0"))
        return false;
    out = t == QLatin1String("true") || t == QLatin1String("1");
    return true;
}

bool isIpv4(const QString &text)
{
    static const QRegularExpression dotted(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));
    const QHostAddress a(text);
    return dotted.match(text).hasMatch() && a.protocol() == QAbstractSocket::IPv4Protocol && !a.isMulticast()
        && (a.toIPv4Address() >> 24) != 0;
}

bool isIpv6(const QString &text)
{
    const QHostAddress a(text);
    return text.contains(QLatin1Char(':')) && a.protocol() == QAbstractSocket::IPv6Protocol && a.scopeId().isEmpty();
}

// RFC 1123: labels of letters, digits and hyphens, no hyphen at either end.
bool isHostName(const QString &text, bool dotted)
{
    static const QRegularExpression label(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$"));
    if (text.isEmpty() || text.size() > 253 || (!dotted && text.contains(QLatin1Char('.'))))
        return false;
    const QStringList labels = text.split(QLatin1Char('.'));
    return std::all_of(labels.begin(), labels.end(), [](const QString &l) { return label.match(l).hasMatch(); });
}

// A POSIX TZ string ("UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "<+0530>-5:30"):
// its standard name and offset are read, the daylight saving name, offset
// and rule only checked for their shape.
const QRegularExpression &posixTz()
{
    static const QRegularExpression tz(QStringLiteral(
        "^(?:[A-Za-z]{3,}|<[A-Za-z0-9+-]{3,}>)([+-]?)([01]?\\d|2[0-4])(?::([0-5]\\d))?(?::([0-5]\\d))?"
        "(?:(?:[A-Za-z]{3,}|<[A-Za-z0-9+-]{3,}>)(?:[+-]?\\d{1,2}(?::[0-5]\\d){0,2})?"
        "(?:,[A-Za-z0-9./:+-]+,[A-Za-z0-9./:+-]+)?)?$"));
    return tz;
}

QString childText(const Element &e, QStringView local)
{
    return e.childText(OnvifSoap::kSchema, local);
}

} // namespace

QString OnvifDevice::mediaAddress() const
{
    QString address = serviceAddress();
    return address.replace(QLatin1String("/onvif/device_service"), QLatin1String("/onvif/media_service"));
}

QString OnvifDevice::snapshotAddress() const
{
    QString address = serviceAddress();
    return address.replace(QLatin1String("/onvif/device_service"), QString::fromLatin1(snapshotPath()));
}

qint64 OnvifDevice::localOffsetSeconds() const
{
    const QRegularExpressionMatch m = posixTz().match(m_timeZone);
    if (!m.hasMatch())
        return 0;
    const qint64 seconds = m.captured(2).toInt() * 3600 + m.captured(3).toInt() * 60 + m.captured(4).toInt();
    // POSIX counts west of Greenwich as positive: "CET-1" is UTC+1.
    return m.captured(1) == QLatin1String("-") ? seconds : -seconds;
}

std::optional<OnvifDevice::Access> OnvifDevice::commissioningAccess(const Element &payload)
{
    struct Operation
    {
        const char16_t *name;
        Access access;
    };
    static constexpr Operation kDevice[] = {
        {u"GetServiceCapabilities", Access::PreAuth}, {u"GetNTP", Access::ReadSystem},
        {u"SetNTP", Access::Write},                   {u"SetHostname", Access::Write},
        {u"SetSystemDateAndTime", Access::Write},     {u"SetSystemFactoryDefault", Access::Write},
        {u"DeleteUsers", Access::Write},
    };
    // Media reads need any user, as the device's own reads do.
    static constexpr Operation kMedia[] = {
        {u"GetServiceCapabilities", Access::PreAuth}, {u"GetProfiles", Access::ReadSystem},
        {u"GetProfile", Access::ReadSystem},          {u"GetVideoSources", Access::ReadSystem},
        {u"GetStreamUri", Access::ReadSystem},        {u"GetSnapshotUri", Access::ReadSystem},
    };
    auto find = [&payload](const auto &table) -> std::optional<Access> {
        for (const Operation &o : table) {
            if (payload.name == QStringView(o.name))
                return o.access;
        }
        return std::nullopt;
    };
    if (payload.ns == OnvifSoap::kDevice)
        return find(kDevice);
    if (payload.ns == OnvifSoap::kMedia)
        return find(kMedia);
    return std::nullopt;
}

std::optional<OnvifDevice::Fault> OnvifDevice::dispatchCommissioning(const Element &payload, OnvifSoap::Writer &w,
                                                                     HttpReply &reply, qint64 nowMs)
{
    using S = OnvifSoap;
    if (payload.ns == S::kMedia)
        return writeMedia(payload, w);
    QXmlStreamWriter &x = w.xml();
    const QString &op = payload.name;
    std::optional<Fault> fault;
    if (op == QLatin1String("GetServiceCapabilities")) {
        x.writeStartElement(S::kDevice, QStringLiteral("GetServiceCapabilitiesResponse"));
        writeDeviceServiceCapabilities(w);
        x.writeEndElement();
        return std::nullopt;
    }
    if (op == QLatin1String("GetNTP")) {
        x.writeStartElement(S::kDevice, QStringLiteral("GetNTPResponse"));
        x.writeStartElement(S::kDevice, QStringLiteral("NTPInformation"));
        w.element(S::kSchema, QStringLiteral("FromDHCP"), boolText(m_ntpFromDhcp));
        // The simulated DHCP server names the gateway as time server.
        QList<QPair<QString, QString>> servers = m_ntpServers;
        if (m_ntpFromDhcp)
            servers = m_net.gateways.isEmpty()
                ? QList<QPair<QString, QString>>()
                : QList<QPair<QString, QString>>{{QStringLiteral("IPv4"), QHostAddress(m_net.gateways.first()).toString()}};
        for (const auto &[type, address] : std::as_const(servers)) {
            x.writeStartElement(S::kSchema, m_ntpFromDhcp ? QStringLiteral("NTPFromDHCP") : QStringLiteral("NTPManual"));
            w.element(S::kSchema, QStringLiteral("Type"), type);
            w.element(S::kSchema,
                      type == QLatin1String("IPv4")   ? QStringLiteral("IPv4Address")
                          : type == QLatin1String("IPv6") ? QStringLiteral("IPv6Address")
                                                          : QStringLiteral("DNSname"),
                      address);
            x.writeEndElement();
        }
        x.writeEndElement();
        x.writeEndElement();
        return std::nullopt;
    }
    if (op == QLatin1String("SetNTP"))
        fault = setNtp(payload);
    else if (op == QLatin1String("SetHostname"))
        fault = setHostname(payload);
    else if (op == QLatin1String("SetSystemDateAndTime"))
        fault = setSystemDateAndTime(payload, nowMs);
    else if (op == QLatin1String("DeleteUsers"))
        fault = deleteUsers(payload);
    else if (op == QLatin1String("SetSystemFactoryDefault")) {
        fault = factoryDefault(payload);
        // It restarts into its new state: Bye, and Hello where it now is.
        if (!fault)
            reply.after = After::Reboot;
    }
    if (fault)
        return fault;
    x.writeEmptyElement(S::kDevice, op + QStringLiteral("Response"));
    return std::nullopt;
}

void OnvifDevice::writeDeviceServiceCapabilities(OnvifSoap::Writer &w) const
{
    using S = OnvifSoap;
    QXmlStreamWriter &x = w.xml();
    x.writeStartElement(S::kDevice, QStringLiteral("Capabilities"));
    x.writeEmptyElement(S::kDevice, QStringLiteral("Network"));
    x.writeAttribute(QStringLiteral("IPVersion6"), boolText(!m_ipv6LinkLocal.isEmpty()));
    x.writeAttribute(QStringLiteral("HostnameFromDHCP"), QStringLiteral("false"));
    x.writeAttribute(QStringLiteral("NTP"), QString::number(kMaxNtpServers));
    x.writeEmptyElement(S::kDevice, QStringLiteral("Security"));
    x.writeAttribute(QStringLiteral("UsernameToken"), boolText(m_behaviour.auth != OnvifBehaviour::Auth::Digest));
    x.writeAttribute(QStringLiteral("HttpDigest"), boolText(m_behaviour.auth != OnvifBehaviour::Auth::UsernameToken));
    x.writeAttribute(QStringLiteral("MaxUsers"), QString::number(kMaxUsers));
    x.writeAttribute(QStringLiteral("MaxUserNameLength"), QString::number(kMaxUsernameLength));
    x.writeAttribute(QStringLiteral("MaxPasswordLength"), QString::number(kMaxPasswordLength));
    x.writeEmptyElement(S::kDevice, QStringLiteral("System"));
    x.writeAttribute(QStringLiteral("DiscoveryBye"), QStringLiteral("true"));
    x.writeAttribute(QStringLiteral("HttpFirmwareUpgrade"), QStringLiteral("false"));
    x.writeEndElement();
}

void OnvifDevice::writeMediaServiceCapabilities(OnvifSoap::Writer &w) const
{
    using S = OnvifSoap;
    QXmlStreamWriter &x = w.xml();
    x.writeStartElement(S::kMedia, QStringLiteral("Capabilities"));
    x.writeAttribute(QStringLiteral("SnapshotUri"), QStringLiteral("true"));
    x.writeEmptyElement(S::kMedia, QStringLiteral("ProfileCapabilities"));
    x.writeAttribute(QStringLiteral("MaximumNumberOfProfiles"), QStringLiteral("1"));
    x.writeEmptyElement(S::kMedia, QStringLiteral("StreamingCapabilities"));
    x.writeAttribute(QStringLiteral("RTPMulticast"), QStringLiteral("false"));
    x.writeAttribute(QStringLiteral("RTP_TCP"), QStringLiteral("true"));
    x.writeAttribute(QStringLiteral("RTP_RTSP_TCP"), QStringLiteral("true"));
    x.writeEndElement();
}

std::optional<OnvifDevice::Fault> OnvifDevice::setNtp(const Element &payload)
{
    bool fromDhcp = false;
    if (!parseBool(payload.childText(OnvifSoap::kDevice, u"FromDHCP"), fromDhcp))
        return invalidArgs(QStringLiteral("FromDHCP must be a boolean"));
    QList<QPair<QString, QString>> servers;
    for (const Element *e : payload.childrenNamed(OnvifSoap::kDevice, u"NTPManual")) {
        const QString type = childText(*e, u"Type");
        QString address;
        bool valid = false;
        QString subcode;
        if (type == QLatin1String("IPv4")) {
            address = childText(*e, u"IPv4Address");
            valid = isIpv4(address);
            subcode = QStringLiteral("InvalidIPv4Address");
        } else if (type == QLatin1String("IPv6")) {
            address = childText(*e, u"IPv6Address");
            valid = isIpv6(address);
            subcode = QStringLiteral("InvalidIPv6Address");
        } else if (type == QLatin1String("DNS")) {
            address = childText(*e, u"DNSname");
            valid = isHostName(address, true);
            subcode = QStringLiteral("InvalidDnsName");
        } else {
            return invalidArgVal(QStringLiteral("InvalidArgVal"), QStringLiteral("Type must be IPv4, IPv6 or DNS"));
        }
        if (!valid)
            return invalidArgVal(subcode, QStringLiteral("Not a usable NTP server: ") + address.left(64));
        servers.append({type, address});
    }
    if (servers.size() > kMaxNtpServers)
        return invalidArgVal(QStringLiteral("InvalidArgVal"), QStringLiteral("Four NTP servers at most"));
    m_ntpFromDhcp = fromDhcp;
    m_ntpServers = servers;
    return std::nullopt;
}

std::optional<OnvifDevice::Fault> OnvifDevice::setHostname(const Element &payload)
{
    const QString name = payload.childText(OnvifSoap::kDevice, u"Name");
    // One label: a host name, not a domain name.
    if (!isHostName(name, false))
        return invalidArgVal(QStringLiteral("InvalidHostname"), QStringLiteral("Not a host name"));
    m_net.hostname = name;
    return std::nullopt;
}

std::optional<OnvifDevice::Fault> OnvifDevice::setSystemDateAndTime(const Element &payload, qint64 nowMs)
{
    using S = OnvifSoap;
    const QString type = payload.childText(S::kDevice, u"DateTimeType");
    if (type != QLatin1String("Manual") && type != QLatin1String("NTP"))
        return invalidArgVal(QStringLiteral("InvalidArgVal"), QStringLiteral("DateTimeType must be Manual or NTP"));
    bool daylight = false;
    if (!parseBool(payload.childText(S::kDevice, u"DaylightSavings"), daylight))
        return invalidArgs(QStringLiteral("DaylightSavings must be a boolean"));
    QString zone = m_timeZone;
    if (const Element *tz = payload.child(S::kDevice, u"TimeZone")) {
        zone = childText(*tz, u"TZ");
        if (zone.size() > 64 || !posixTz().match(zone).hasMatch())
            return invalidArgVal(QStringLiteral("InvalidTimeZone"), QStringLiteral("Not a POSIX time zone"));
    }
    std::optional<qint64> setMs;
    const bool ntp = type == QLatin1String("NTP");
    if (ntp) {
        // Its NTP servers are as good as this host's clock: it is right
        // at once.
        if (!m_ntpFromDhcp && m_ntpServers.isEmpty())
            return invalidArgVal(QStringLiteral("NtpServerUndefined"), QStringLiteral("No NTP server is set"));
        setMs = nowMs;
    } else if (const Element *utc = payload.child(S::kDevice, u"UTCDateTime")) {
        const Element *time = utc->child(S::kSchema, u"Time");
        const Element *date = utc->child(S::kSchema, u"Date");
        const QDate d = date ? QDate(childText(*date, u"Year").toInt(), childText(*date, u"Month").toInt(),
                                     childText(*date, u"Day").toInt())
                             : QDate();
        const QTime t = time ? QTime(childText(*time, u"Hour").toInt(), childText(*time, u"Minute").toInt(),
                                     childText(*time, u"Second").toInt())
                             : QTime();
        if (!d.isValid() || !t.isValid() || d.year() < 1970 || d.year() > 2099)
            return invalidArgVal(QStringLiteral("InvalidDateTime"), QStringLiteral("Not a valid date and time"));
        setMs = QDateTime(d, t, Qt::UTC).toMSecsSinceEpoch();
    }
    if (setMs)
        m_clockSetMs = *setMs - (nowMs + m_behaviour.clockOffsetSeconds * 1000);
    m_ntpTime = ntp;
    m_daylightSavings = daylight;
    m_timeZone = zone;
    return std::nullopt;
}

std::optional<OnvifDevice::Fault> OnvifDevice::deleteUsers(const Element &payload)
{
    const std::vector<const Element *> names = payload.childrenNamed(OnvifSoap::kDevice, u"Username");
    if (names.empty())
        return invalidArgs(QStringLiteral("Username is missing"));
    QList<User> next = m_users;
    for (const Element *e : names) {
        const QString name = e->text.trimmed();
        const auto it = std::find_if(next.begin(), next.end(), [&](const User &u) { return u.name == name; });
        if (it == next.end())
            return invalidArgVal(QStringLiteral("UsernameMissing"), QStringLiteral("No such user"));
        next.erase(it);
    }
    // As with SetUser: no way back in without an administrator.
    if (std::none_of(next.begin(), next.end(), [](const User &u) { return u.level == Level::Administrator; }))
        return prohibited(QStringLiteral("FixedUser"), QStringLiteral("The last administrator must stay"));
    m_users = next;
    return std::nullopt;
}

std::optional<OnvifDevice::Fault> OnvifDevice::factoryDefault(const Element &payload)
{
    const QString kind = payload.childText(OnvifSoap::kDevice, u"FactoryDefault");
    if (kind != QLatin1String("Hard") && kind != QLatin1String("Soft"))
        return invalidArgVal(QStringLiteral("InvalidArgVal"), QStringLiteral("FactoryDefault must be Hard or Soft"));
    // Soft keeps the network settings (address, gateway, DNS, hostname,
    // ports), so that the device stays where it is; hard forgets them too.
    if (kind == QLatin1String("Hard")) {
        m_net = m_factoryNet;
        m_pendingInterface.reset();
    }
    m_users.clear();
    m_seenNonces.clear();
    m_seenNonceSet.clear();
    // Time settings go back; the clock itself runs on.
    m_ntpTime = false;
    m_daylightSavings = false;
    m_timeZone = QStringLiteral("UTC0");
    m_ntpFromDhcp = false;
    m_ntpServers.clear();
    return std::nullopt;
}

std::optional<OnvifDevice::Fault> OnvifDevice::writeMedia(const Element &payload, OnvifSoap::Writer &w)
{
    using S = OnvifSoap;
    QXmlStreamWriter &x = w.xml();
    const QString &op = payload.name;
    if (op == QLatin1String("GetServiceCapabilities")) {
        x.writeStartElement(S::kMedia, QStringLiteral("GetServiceCapabilitiesResponse"));
        writeMediaServiceCapabilities(w);
        x.writeEndElement();
        return std::nullopt;
    }
    if (op == QLatin1String("GetVideoSources")) {
        x.writeStartElement(S::kMedia, QStringLiteral("GetVideoSourcesResponse"));
        x.writeStartElement(S::kMedia, QStringLiteral("VideoSources"));
        x.writeAttribute(QStringLiteral("token"), kSourceToken);
        w.element(S::kSchema, QStringLiteral("Framerate"), QStringLiteral("25"));
        x.writeStartElement(S::kSchema, QStringLiteral("Resolution"));
        w.element(S::kSchema, QStringLiteral("Width"), QStringLiteral("1920"));
        w.element(S::kSchema, QStringLiteral("Height"), QStringLiteral("1080"));
        x.writeEndElement();
        x.writeEndElement();
        x.writeEndElement();
        return std::nullopt;
    }
    auto writeProfile = [&](const QString &element) {
        x.writeStartElement(S::kMedia, element);
        x.writeAttribute(QStringLiteral("token"), kProfileToken);
        x.writeAttribute(QStringLiteral("fixed"), QStringLiteral("true"));
        w.element(S::kSchema, QStringLiteral("Name"), QStringLiteral("MainStream"));
        x.writeStartElement(S::kSchema, QStringLiteral("VideoSourceConfiguration"));
        x.writeAttribute(QStringLiteral("token"), QStringLiteral("VideoSourceConfig_1"));
        w.element(S::kSchema, QStringLiteral("Name"), QStringLiteral("VideoSourceConfig_1"));
        w.element(S::kSchema, QStringLiteral("UseCount"), QStringLiteral("1"));
        w.element(S::kSchema, QStringLiteral("SourceToken"), kSourceToken);
        x.writeEmptyElement(S::kSchema, QStringLiteral("Bounds"));
        x.writeAttribute(QStringLiteral("x"), QStringLiteral("0"));
        x.writeAttribute(QStringLiteral("y"), QStringLiteral("0"));
        x.writeAttribute(QStringLiteral("width"), QStringLiteral("1920"));
        x.writeAttribute(QStringLiteral("height"), QStringLiteral("1080"));
        x.writeEndElement();
        // The encoder a Profile S client expects beside the source.
        x.writeStartElement(S::kSchema, QStringLiteral("VideoEncoderConfiguration"));
        x.writeAttribute(QStringLiteral("token"), QStringLiteral("VideoEncoderConfig_1"));
        w.element(S::kSchema, QStringLiteral("Name"), QStringLiteral("VideoEncoderConfig_1"));
        w.element(S::kSchema, QStringLiteral("UseCount"), QStringLiteral("1"));
        w.element(S::kSchema, QStringLiteral("Encoding"), QStringLiteral("H264"));
        x.writeStartElement(S::kSchema, QStringLiteral("Resolution"));
        w.element(S::kSchema, QStringLiteral("Width"), QStringLiteral("1920"));
        w.element(S::kSchema, QStringLiteral("Height"), QStringLiteral("1080"));
        x.writeEndElement();
        w.element(S::kSchema, QStringLiteral("Quality"), QStringLiteral("5"));
        x.writeStartElement(S::kSchema, QStringLiteral("RateControl"));
        w.element(S::kSchema, QStringLiteral("FrameRateLimit"), QStringLiteral("25"));
        w.element(S::kSchema, QStringLiteral("EncodingInterval"), QStringLiteral("1"));
        w.element(S::kSchema, QStringLiteral("BitrateLimit"), QStringLiteral("4096"));
        x.writeEndElement();
        x.writeStartElement(S::kSchema, QStringLiteral("H264"));
        w.element(S::kSchema, QStringLiteral("GovLength"), QStringLiteral("50"));
        w.element(S::kSchema, QStringLiteral("H264Profile"), QStringLiteral("Main"));
        x.writeEndElement();
        x.writeStartElement(S::kSchema, QStringLiteral("Multicast"));
        x.writeStartElement(S::kSchema, QStringLiteral("Address"));
        w.element(S::kSchema, QStringLiteral("Type"), QStringLiteral("IPv4"));
        w.element(S::kSchema, QStringLiteral("IPv4Address"), QStringLiteral("0.0.0.0"));
        x.writeEndElement();
        w.element(S::kSchema, QStringLiteral("Port"), QStringLiteral("0"));
        w.element(S::kSchema, QStringLiteral("TTL"), QStringLiteral("1"));
        w.element(S::kSchema, QStringLiteral("AutoStart"), QStringLiteral("false"));
        x.writeEndElement();
        w.element(S::kSchema, QStringLiteral("SessionTimeout"), QStringLiteral("PT60S"));
        x.writeEndElement();
        x.writeEndElement();
    };
    if (op == QLatin1String("GetProfiles")) {
        x.writeStartElement(S::kMedia, QStringLiteral("GetProfilesResponse"));
        writeProfile(QStringLiteral("Profiles"));
        x.writeEndElement();
        return std::nullopt;
    }
    if (payload.childText(S::kMedia, u"ProfileToken") != kProfileToken)
        return invalidArgVal(QStringLiteral("NoProfile"), QStringLiteral("No such profile"));
    if (op == QLatin1String("GetProfile")) {
        x.writeStartElement(S::kMedia, QStringLiteral("GetProfileResponse"));
        writeProfile(QStringLiteral("Profile"));
        x.writeEndElement();
        return std::nullopt;
    }
    QString uri;
    if (op == QLatin1String("GetStreamUri")) {
        // Where its RTSP server would be; none runs (no stream is simulated).
        if (const Element *setup = payload.child(S::kMedia, u"StreamSetup")) {
            const Element *transport = setup->child(S::kSchema, u"Transport");
            const QString protocol = transport ? childText(*transport, u"Protocol") : QString();
            if (childText(*setup, u"Stream") != QLatin1String("RTP-Unicast")
                || !QStringList{QStringLiteral("UDP"), QStringLiteral("TCP"), QStringLiteral("RTSP"), QStringLiteral("HTTP")}
                        .contains(protocol))
                return invalidArgVal(QStringLiteral("InvalidStreamSetup"), QStringLiteral("Unicast RTP only"));
        }
        if (!m_net.rtspEnabled)
            return invalidArgVal(QStringLiteral("InvalidStreamSetup"), QStringLiteral("RTSP is turned off"));
        QUrl url(serviceAddress());
        url.setScheme(QStringLiteral("rtsp"));
        url.setPort(m_net.rtspPort);
        url.setPath(QStringLiteral("/Streaming/") + kProfileToken);
        uri = url.toString();
    } else {
        uri = snapshotAddress();
    }
    x.writeStartElement(S::kMedia, op + QStringLiteral("Response"));
    x.writeStartElement(S::kMedia, QStringLiteral("MediaUri"));
    w.element(S::kSchema, QStringLiteral("Uri"), uri);
    w.element(S::kSchema, QStringLiteral("InvalidAfterConnect"), QStringLiteral("false"));
    w.element(S::kSchema, QStringLiteral("InvalidAfterReboot"), QStringLiteral("false"));
    w.element(S::kSchema, QStringLiteral("Timeout"), QStringLiteral("PT0S"));
    x.writeEndElement();
    x.writeEndElement();
    return std::nullopt;
}

OnvifDevice::HttpReply OnvifDevice::snapshot(const QByteArray &target, const QByteArray &authorization, qint64 nowMs)
{
    // A GET carries no WS-Security header: HTTP digest it is, whatever the
    // device takes on its SOAP services, as devices in the field do.
    HttpReply reply;
    reply.delayMs = m_behaviour.delayMs;
    bool stale = false;
    if (!authorization.isEmpty()) {
        QByteArray name;
        const HttpDigest::Result result = m_digest.verify(
            authorization, "GET", target, nowMs,
            [this](const QByteArray &user) -> std::optional<QByteArray> {
                const User *u = findUser(QString::fromUtf8(user));
                return u ? std::optional<QByteArray>(u->password) : std::nullopt;
            },
            name);
        if (result == HttpDigest::Result::Accepted) {
            reply.body = OnvifSnapshot::jpeg(m_name, QDateTime::fromMSecsSinceEpoch(deviceTimeMs(nowMs), Qt::UTC));
            reply.status = reply.body.isEmpty() ? 500 : 200;
            reply.contentType = QByteArrayLiteral("image/jpeg");
            return reply;
        }
        stale = result == HttpDigest::Result::Stale;
    }
    reply.status = 401;
    reply.challenges = m_digest.challenges(nowMs, stale);
    return reply;
}

} // namespace VoskSim
