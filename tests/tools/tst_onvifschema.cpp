// Every kind of answer the simulated ONVIF devices give (each operation's
// response, each fault, ProbeMatches, Hello, Bye) validated with xmllint
// against the official schemas of the ONVIF corpus: the whole envelope,
// and the body on its own from its root so that no element can slip
// through a lax wildcard. A deliberately broken answer must fail, so the
// validation is known to bite.

#include "onvifrequests.h"

#include "tools/devsim/onvifbehaviour.h"
#include "tools/devsim/onvifdevice.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;
using VoskSim::OnvifBehaviour;
using VoskSim::OnvifDevice;

namespace {

const QByteArray kPassword = QByteArrayLiteral("Admin12345");
constexpr qint64 kNow = 1800000000000;

OnvifDevice makeDevice(int index, const QString &rule, const QString &ipv6 = QString())
{
    OnvifDevice::Options o;
    o.ipv6Address = ipv6;
    o.seed = 11;
    o.index = index;
    o.adminPassword = kPassword;
    o.address = 0x7F020001 + quint32(index);
    o.httpPort = 8080;
    QString error;
    OnvifBehaviour::parseRule(QStringLiteral("plain,") + rule, error)->apply(o.behaviour);
    return OnvifDevice(o);
}

int nonces = 0;
QByteArray call(OnvifDevice &device, const QString &body, bool sign = true)
{
    const QString header = sign ? onvifUsernameToken(QStringLiteral("admin"), kPassword, device.deviceTimeMs(kNow),
                                                     QByteArray::number(++nonces).rightJustified(12, 'z'))
                                : QString();
    return device.handleHttp("POST", "/onvif/device_service", QByteArray(), onvifEnvelope(body, header), kNow).body;
}

QString op(const QString &name, const QString &inner = QString())
{
    return QStringLiteral("<tds:%1>%2</tds:%1>").arg(name, inner);
}

// The first child of the Body as a document of its own, with the
// envelope's namespace declarations (the writer declares them all on the
// root, none further down).
QByteArray bodyOf(const QByteArray &envelope)
{
    const qsizetype rootEnd = envelope.indexOf('>', envelope.indexOf("<env:Envelope"));
    const QByteArray root = envelope.mid(envelope.indexOf("<env:Envelope"), rootEnd);
    QByteArray declarations;
    static const QRegularExpression xmlns(QStringLiteral(" xmlns:[a-z]+=\"[^\"]*\""));
    auto it = xmlns.globalMatch(QString::fromUtf8(root));
    while (it.hasNext())
        declarations += it.next().captured(0).toUtf8();
    const qsizetype start = envelope.indexOf("<env:Body>") + 10;
    QByteArray payload = envelope.mid(start, envelope.indexOf("</env:Body>") - start);
    qsizetype nameEnd = 1;
    while (nameEnd < payload.size() && payload[nameEnd] != ' ' && payload[nameEnd] != '>' && payload[nameEnd] != '/')
        ++nameEnd;
    payload.insert(nameEnd, declarations);
    return payload;
}

} // namespace

class tst_OnvifSchema : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyAnswerValidates();
    void brokenAnswerFails();

private:
    void write(const QString &name, const QByteArray &envelope, const char *bodyKind);
    int validate(const QString &dir, QByteArray &output);

    QTemporaryDir m_dir;
    QStringList m_names;
};

void tst_OnvifSchema::initTestCase()
{
    if (QStringLiteral(VOSK_ONVIF_CORPUS).isEmpty() || !QFile::exists(QStringLiteral(VOSK_ONVIF_CORPUS "/schema/catalog.xml")))
        QSKIP("the ONVIF corpus (shared/onvif beside the repository) is not there");
    if (QStandardPaths::findExecutable(QStringLiteral("xmllint")).isEmpty())
        QFAIL("xmllint is missing (Debian package libxml2-utils, in scripts/packages.txt)");
    QVERIFY(m_dir.isValid());
}

void tst_OnvifSchema::write(const QString &name, const QByteArray &envelope, const char *bodyKind)
{
    QVERIFY2(!envelope.isEmpty(), qPrintable(name));
    QFile whole(m_dir.filePath(name + QStringLiteral(".envelope.xml")));
    QVERIFY(whole.open(QIODevice::WriteOnly));
    whole.write(envelope);
    m_names << whole.fileName();
    if (!bodyKind)
        return;
    QFile body(m_dir.filePath(name + QLatin1Char('.') + QLatin1String(bodyKind) + QStringLiteral(".xml")));
    QVERIFY(body.open(QIODevice::WriteOnly));
    body.write(bodyOf(envelope));
    m_names << body.fileName();
}

int tst_OnvifSchema::validate(const QString &dir, QByteArray &output)
{
    QProcess xmllint;
    xmllint.setProcessChannelMode(QProcess::MergedChannels);
    xmllint.start(QStringLiteral(ONVIF_VALIDATE_SCRIPT), {QStringLiteral(VOSK_ONVIF_CORPUS), dir});
    if (!xmllint.waitForFinished(90000))
        return -1;
    output = xmllint.readAll();
    return xmllint.exitCode();
}

void tst_OnvifSchema::everyAnswerValidates()
{
    // A device with IPv6 and one without, one in factory state, one that
    // needs reboots.
    int v6Index = -1;
    int v4Index = -1;
    for (int i = 1; i < 40 && (v6Index < 0 || v4Index < 0); ++i) {
        OnvifDevice probe = makeDevice(i, QString());
        const bool v6 = call(probe, op(QStringLiteral("GetNetworkInterfaces"))).contains("IPv6");
        (v6 ? v6Index : v4Index) = i;
    }
    QVERIFY(v6Index > 0 && v4Index > 0);
    OnvifDevice dev = makeDevice(v6Index, QStringLiteral("clock=+3h"));
    OnvifDevice v4 = makeDevice(v4Index, QStringLiteral("reboot"));
    OnvifDevice factory = makeDevice(0, QStringLiteral("factory"));
    // Served on IPv4 and IPv6 (two XAddrs), and on IPv6 alone (IPv4 off,
    // no IPv4 address to report).
    OnvifDevice dual = makeDevice(6, QString(), QStringLiteral("fd00:5c::7"));
    OnvifDevice v6only = makeDevice(7, QStringLiteral("ipv6only"), QStringLiteral("fd00:5c::8"));

    const char *device = "device";
    for (const char *name : {"GetSystemDateAndTime", "GetDeviceInformation", "GetNetworkProtocols", "GetHostname",
                             "GetScopes", "GetUsers", "GetCapabilities"})
        write(QString::fromLatin1(name), call(dev, op(QString::fromLatin1(name))), device);
    write(QStringLiteral("GetServices-capabilities"),
          call(dev, op(QStringLiteral("GetServices"), QStringLiteral("<tds:IncludeCapability>true</tds:IncludeCapability>"))),
          device);
    write(QStringLiteral("GetServices"),
          call(dev, op(QStringLiteral("GetServices"), QStringLiteral("<tds:IncludeCapability>false</tds:IncludeCapability>"))),
          device);
    write(QStringLiteral("GetScopes-factory"), call(factory, op(QStringLiteral("GetScopes"))), nullptr);
    write(QStringLiteral("GetUsers-factory"), call(factory, op(QStringLiteral("GetUsers")), false), device);

    write(QStringLiteral("SetNetworkInterfaces-v6"),
          call(dev, op(QStringLiteral("SetNetworkInterfaces"),
                       QStringLiteral("<tds:InterfaceToken>eth0</tds:InterfaceToken><tds:NetworkInterface>"
                                      "<tt:MTU>1400</tt:MTU><tt:IPv4><tt:DHCP>true</tt:DHCP></tt:IPv4>"
                                      "<tt:IPv6><tt:Enabled>true</tt:Enabled><tt:Manual><tt:Address>2001:db8::40</tt:Address>"
                                      "<tt:PrefixLength>64</tt:PrefixLength></tt:Manual><tt:DHCP>Stateful</tt:DHCP></tt:IPv6>"
                                      "</tds:NetworkInterface>"))),
          device);
    write(QStringLiteral("GetNetworkInterfaces-v6"), call(dev, op(QStringLiteral("GetNetworkInterfaces"))), device);
    write(QStringLiteral("SetNetworkInterfaces-reboot"),
          call(v4, op(QStringLiteral("SetNetworkInterfaces"),
                      QStringLiteral("<tds:InterfaceToken>eth0</tds:InterfaceToken><tds:NetworkInterface><tt:IPv4>"
                                     "<tt:Manual><tt:Address>127.2.7.7</tt:Address><tt:PrefixLength>24</tt:PrefixLength>"
                                     "</tt:Manual></tt:IPv4></tds:NetworkInterface>"))),
          device);
    write(QStringLiteral("GetNetworkInterfaces-v4"), call(v4, op(QStringLiteral("GetNetworkInterfaces"))), device);
    write(QStringLiteral("GetNetworkInterfaces-v6only"), call(v6only, op(QStringLiteral("GetNetworkInterfaces"))),
          device);
    write(QStringLiteral("GetServices-v6only"),
          call(v6only, op(QStringLiteral("GetServices"), QStringLiteral("<tds:IncludeCapability>false</tds:IncludeCapability>"))),
          device);
    write(QStringLiteral("SetNetworkDefaultGateway"),
          call(dev, op(QStringLiteral("SetNetworkDefaultGateway"),
                       QStringLiteral("<tds:IPv4Address>127.2.0.254</tds:IPv4Address><tds:IPv6Address>2001:db8::1</tds:IPv6Address>"))),
          device);
    write(QStringLiteral("GetNetworkDefaultGateway"), call(dev, op(QStringLiteral("GetNetworkDefaultGateway"))), device);
    write(QStringLiteral("SetDNS"),
          call(dev, op(QStringLiteral("SetDNS"),
                       QStringLiteral("<tds:FromDHCP>false</tds:FromDHCP><tds:SearchDomain>site.example</tds:SearchDomain>"
                                      "<tds:DNSManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>192.0.2.53</tt:IPv4Address></tds:DNSManual>"
                                      "<tds:DNSManual><tt:Type>IPv6</tt:Type><tt:IPv6Address>2001:db8::53</tt:IPv6Address></tds:DNSManual>"))),
          device);
    write(QStringLiteral("GetDNS-manual"), call(dev, op(QStringLiteral("GetDNS"))), device);
    call(v4, op(QStringLiteral("SetDNS"), QStringLiteral("<tds:FromDHCP>true</tds:FromDHCP>")));
    write(QStringLiteral("GetDNS-dhcp"), call(v4, op(QStringLiteral("GetDNS"))), device);
    write(QStringLiteral("SetNetworkProtocols"),
          call(dev, op(QStringLiteral("SetNetworkProtocols"),
                       QStringLiteral("<tds:NetworkProtocols><tt:Name>RTSP</tt:Name><tt:Enabled>false</tt:Enabled>"
                                      "<tt:Port>8554</tt:Port></tds:NetworkProtocols>"))),
          device);
    write(QStringLiteral("CreateUsers"),
          call(dev, op(QStringLiteral("CreateUsers"),
                       QStringLiteral("<tds:User><tt:Username>op1</tt:Username><tt:Password>Op-12345</tt:Password>"
                                      "<tt:UserLevel>Operator</tt:UserLevel></tds:User>"))),
          device);
    write(QStringLiteral("SetUser"),
          call(dev, op(QStringLiteral("SetUser"),
                       QStringLiteral("<tds:User><tt:Username>op1</tt:Username><tt:Password>Op-67890</tt:Password>"
                                      "<tt:UserLevel>User</tt:UserLevel></tds:User>"))),
          device);
    write(QStringLiteral("SystemReboot"), call(v4, op(QStringLiteral("SystemReboot"))), device);

    // Commissioning: each change, then what reads it back.
    write(QStringLiteral("GetServiceCapabilities"), call(dev, op(QStringLiteral("GetServiceCapabilities"))), device);
    write(QStringLiteral("SetHostname"), call(dev, op(QStringLiteral("SetHostname"), QStringLiteral("<tds:Name>cam-9</tds:Name>"))), device);
    write(QStringLiteral("SetNTP"),
          call(dev, op(QStringLiteral("SetNTP"),
                       QStringLiteral("<tds:FromDHCP>false</tds:FromDHCP><tds:NTPManual><tt:Type>DNS</tt:Type>"
                                      "<tt:DNSname>ntp.example.org</tt:DNSname></tds:NTPManual><tds:NTPManual>"
                                      "<tt:Type>IPv6</tt:Type><tt:IPv6Address>2001:db8::123</tt:IPv6Address></tds:NTPManual>"))),
          device);
    write(QStringLiteral("GetNTP"), call(dev, op(QStringLiteral("GetNTP"))), device);
    call(v4, op(QStringLiteral("SetNTP"), QStringLiteral("<tds:FromDHCP>true</tds:FromDHCP>")));
    write(QStringLiteral("GetNTP-dhcp"), call(v4, op(QStringLiteral("GetNTP"))), device);
    write(QStringLiteral("SetSystemDateAndTime"),
          call(dev, op(QStringLiteral("SetSystemDateAndTime"),
                       QStringLiteral("<tds:DateTimeType>NTP</tds:DateTimeType><tds:DaylightSavings>true</tds:DaylightSavings>"
                                      "<tds:TimeZone><tt:TZ>CET-1CEST,M3.5.0,M10.5.0/3</tt:TZ></tds:TimeZone>"))),
          device);
    write(QStringLiteral("GetSystemDateAndTime-ntp"), call(dev, op(QStringLiteral("GetSystemDateAndTime"))), device);
    write(QStringLiteral("DeleteUsers"), call(dev, op(QStringLiteral("DeleteUsers"), QStringLiteral("<tds:Username>op1</tds:Username>"))),
          device);
    OnvifDevice reset = makeDevice(8, QString());
    write(QStringLiteral("SetSystemFactoryDefault"),
          call(reset, op(QStringLiteral("SetSystemFactoryDefault"), QStringLiteral("<tds:FactoryDefault>Hard</tds:FactoryDefault>"))),
          device);
    // Media: the corpus has no media WSDL, so its answers are checked as
    // envelopes, their tt: content by the common schema where it is typed.
    const QString media = QStringLiteral("<trt:%1 xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\">"
                                         "<trt:ProfileToken>Profile_1</trt:ProfileToken></trt:%1>");
    for (const char *name : {"GetServiceCapabilities", "GetProfiles", "GetProfile", "GetVideoSources", "GetStreamUri",
                             "GetSnapshotUri"})
        write(QStringLiteral("media-") + QString::fromLatin1(name), call(dev, media.arg(QString::fromLatin1(name))), nullptr);
    write(QStringLiteral("Fault-NoProfile"),
          call(dev, QStringLiteral("<trt:GetStreamUri xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\"><trt:ProfileToken>x"
                                   "</trt:ProfileToken></trt:GetStreamUri>")),
          nullptr);

    // Faults.
    write(QStringLiteral("Fault-NotAuthorized"), call(dev, op(QStringLiteral("GetUsers")), false), nullptr);
    write(QStringLiteral("Fault-InvalidArgVal"),
          call(dev, op(QStringLiteral("SetNetworkDefaultGateway"), QStringLiteral("<tds:IPv4Address>1.2.3</tds:IPv4Address>"))),
          nullptr);
    write(QStringLiteral("Fault-OperationProhibited"),
          call(dev, op(QStringLiteral("CreateUsers"), QStringLiteral("<tds:User><tt:Username>admin</tt:Username><tt:Password>x</tt:Password>"
                                                                     "<tt:UserLevel>User</tt:UserLevel></tds:User>"))),
          nullptr);
    write(QStringLiteral("Fault-ActionNotSupported"), call(dev, op(QStringLiteral("GetZeroConfiguration"))), nullptr);
    write(QStringLiteral("Fault-WellFormed"),
          dev.handleHttp("POST", "/", QByteArray(), "<not-closed>", kNow).body, nullptr);
    write(QStringLiteral("Fault-VersionMismatch"),
          dev.handleHttp("POST", "/", QByteArray(),
                         "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body/></e:Envelope>", kNow)
              .body,
          nullptr);
    write(QStringLiteral("Fault-MustUnderstand"),
          dev.handleHttp("POST", "/", QByteArray(),
                         onvifEnvelope(op(QStringLiteral("GetHostname")),
                                       QStringLiteral("<x:T xmlns:x=\"urn:x\" s:mustUnderstand=\"1\"/>")),
                         kNow)
              .body,
          nullptr);
    OnvifDevice faulty = makeDevice(5, QStringLiteral("faults"));
    write(QStringLiteral("Fault-Action"), call(faulty, op(QStringLiteral("SystemReboot"))), nullptr);

    // WS-Discovery.
    const char *discovery = "discovery";
    write(QStringLiteral("ProbeMatches"), dev.probeMatches(QStringLiteral("urn:uuid:0b0e4a7c-0000-4000-8000-000000000001")),
          discovery);
    write(QStringLiteral("ProbeMatches-factory"), factory.probeMatches(QString()), discovery);
    write(QStringLiteral("ProbeMatches-dual"), dual.probeMatches(QString()), discovery);
    write(QStringLiteral("Hello-v6only"), v6only.hello(), discovery);
    write(QStringLiteral("Hello"), dev.hello(), discovery);
    write(QStringLiteral("Bye"), dev.bye(), discovery);

    QByteArray output;
    const int status = validate(m_dir.path(), output);
    QVERIFY2(status == 0, output.constData());
    for (const QString &name : std::as_const(m_names))
        QVERIFY2(output.contains((name + QStringLiteral(" validates")).toUtf8()), qPrintable(name));
}

void tst_OnvifSchema::brokenAnswerFails()
{
    // The same answer with a PrefixLength that is no xs:int, and one with
    // the response element in a namespace of its own making: each must be
    // caught, the second only by the validation of the body from its root.
    OnvifDevice dev = makeDevice(2, QString());
    const QByteArray good = call(dev, op(QStringLiteral("GetNetworkInterfaces")));
    QByteArray badPrefix = good;
    badPrefix.replace("<tt:PrefixLength>16</tt:PrefixLength>", "<tt:PrefixLength>/16</tt:PrefixLength>");
    QVERIFY(badPrefix != good);
    QByteArray badNamespace = bodyOf(good);
    badNamespace.replace("<tds:GetNetworkInterfacesResponse", "<GetNetworkInterfacesResponse xmlns=\"urn:elsewhere\"");
    badNamespace.replace("</tds:GetNetworkInterfacesResponse>", "</GetNetworkInterfacesResponse>");

    for (const auto &[name, text] : {std::pair{QStringLiteral("prefix.envelope.xml"), badPrefix},
                                     std::pair{QStringLiteral("namespace.device.xml"), badNamespace}}) {
        QTemporaryDir dir;
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        QByteArray output;
        QCOMPARE(validate(dir.path(), output), 1);
        QVERIFY2(output.contains("fails to validate"), output.constData());
    }
}

QTEST_GUILESS_MAIN(tst_OnvifSchema)
#include "tst_onvifschema.moc"
