// The answer readers against every captured answer of the operations the
// client uses, and against answers built to hurt.

#include "onvif/deviceanswers.h"
#include "onvif/soapenvelope.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace Onvif;

Q_DECLARE_METATYPE(Onvif::ErrorKind)
Q_DECLARE_METATYPE(Onvif::XmlTree::Status)

namespace {

const QString kResponses = QStringLiteral(ONVIF_CORPUS_DIR "/responses");

QByteArray readCapture(const QString &file)
{
    QFile f(kResponses + u'/' + file);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(f.fileName()));
    return f.readAll();
}

QStringList captures(const QString &operation)
{
    return QDir(kResponses).entryList({operation + QStringLiteral("--*.xml")}, QDir::Files, QDir::Name);
}

QByteArray envelope(const QByteArray &body, const QByteArray &soapNs = "http://www.w3.org/2003/05/soap-envelope")
{
    return "<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"" + soapNs
        + "\" xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:tt=\"http://www.onvif.org/ver10/schema\">"
          "<e:Body>"
        + body + "</e:Body></e:Envelope>";
}

} // namespace

class tst_OnvifAnswers : public QObject
{
    Q_OBJECT

private slots:
    void everyCaptureIsAnEnvelope();
    void operations_data();
    void operations();
    void faults_data();
    void faults();
    void quirks();
    void hostile_data();
    void hostile();
    void qnames();
    void macAddresses_data();
    void macAddresses();
};

// Every captured answer, of whatever operation, reads as a SOAP 1.2
// envelope with a Body element: the envelope habits of the whole field.
void tst_OnvifAnswers::everyCaptureIsAnEnvelope()
{
    const QStringList all = QDir(kResponses).entryList({QStringLiteral("*.xml")}, QDir::Files);
    QVERIFY(all.size() >= 200);
    for (const QString &file : all) {
        const SoapEnvelope e = SoapEnvelope::read(readCapture(file));
        QVERIFY2(e.isValid(), qPrintable(file + u' ' + e.error().reason));
        QVERIFY2(e.payload() >= 0, qPrintable(file));
        QCOMPARE(e.isFault(), file.startsWith(QLatin1String("Fault-")));
    }
}

void tst_OnvifAnswers::operations_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("file");
    for (const char *op : {"GetSystemDateAndTime", "GetDeviceInformation", "GetNetworkInterfaces",
                           "GetNetworkDefaultGateway", "GetDNS", "GetNetworkProtocols", "GetHostname", "GetScopes",
                           "GetUsers", "SetNetworkInterfaces", "SetDNS", "CreateUsers", "SetUser", "SystemReboot"}) {
        const QStringList files = captures(QString::fromLatin1(op));
        QVERIFY2(!files.isEmpty(), op);
        for (const QString &file : files)
            QTest::newRow(qPrintable(file)) << QString::fromLatin1(op) << file;
    }
}

// Each capture is read by its operation's reader, with what every device
// gives; and refused by the reader of another operation.
void tst_OnvifAnswers::operations()
{
    QFETCH(QString, operation);
    QFETCH(QString, file);
    const SoapEnvelope e = SoapEnvelope::read(readCapture(file));
    QVERIFY(e.isValid());
    QVERIFY(!e.isFault());

    if (operation == QLatin1String("GetSystemDateAndTime")) {
        SystemDateTime v;
        QVERIFY(DeviceAnswers::systemDateAndTime(e, &v));
        QVERIFY(v.utc.isValid());
        QCOMPARE(v.utc.timeSpec(), Qt::UTC);
        QVERIFY(v.utc.date().year() >= 1970);
        QVERIFY(v.dateTimeType == QLatin1String("Manual") || v.dateTimeType == QLatin1String("NTP"));
    } else if (operation == QLatin1String("GetDeviceInformation")) {
        DeviceInformation v;
        QVERIFY(DeviceAnswers::deviceInformation(e, &v));
        QVERIFY(!v.model.isEmpty() || !v.serialNumber.isEmpty());
        QCOMPARE(v.firmwareVersion, v.firmwareVersion.trimmed());
    } else if (operation == QLatin1String("GetNetworkInterfaces")) {
        QList<NetworkInterface> v;
        QVERIFY(DeviceAnswers::networkInterfaces(e, &v));
        QVERIFY(!v.isEmpty());
        for (const NetworkInterface &i : v) {
            QVERIFY(!i.token.isEmpty());
            QCOMPARE(i.hwAddress.size(), 17);
            QVERIFY(i.ipv4.has_value());
            if (!i.ipv4->dhcp)
                QVERIFY(!i.ipv4->manual.isEmpty());
            for (const PrefixedAddress &a : i.ipv4->manual)
                QVERIFY(a.prefixLength > 0 && a.prefixLength <= 32);
        }
    } else if (operation == QLatin1String("GetNetworkDefaultGateway")) {
        NetworkGateway v;
        QVERIFY(DeviceAnswers::networkDefaultGateway(e, &v));
        QCOMPARE(v.ipv4.size(), 1);
        QVERIFY(!v.ipv6.contains(QLatin1String("::")));
    } else if (operation == QLatin1String("GetDNS")) {
        DnsInformation v;
        QVERIFY(DeviceAnswers::dns(e, &v));
        for (const QString &a : v.manualServers + v.fromDhcpServers)
            QVERIFY(!a.isEmpty());
    } else if (operation == QLatin1String("GetNetworkProtocols")) {
        QList<NetworkProtocol> v;
        QVERIFY(DeviceAnswers::networkProtocols(e, &v));
        QVERIFY(v.size() >= 2);
        QCOMPARE(httpPort(v), 80);
    } else if (operation == QLatin1String("GetHostname")) {
        HostnameInformation v;
        QVERIFY(DeviceAnswers::hostname(e, &v));
        QCOMPARE(v.name, v.name.trimmed());
    } else if (operation == QLatin1String("GetScopes")) {
        QList<Scope> v;
        QVERIFY(DeviceAnswers::scopes(e, &v));
        QVERIFY(!v.isEmpty());
        // Vendors add their own ("urn:schemas-...") beside the standard's.
        int standard = 0;
        for (const Scope &s : v)
            standard += s.item.startsWith(QLatin1String("onvif://www.onvif.org/"), Qt::CaseInsensitive);
        QVERIFY(standard > 0);
    } else if (operation == QLatin1String("GetUsers")) {
        QList<User> v;
        QVERIFY(DeviceAnswers::users(e, &v));
        for (const User &u : v)
            QVERIFY(!u.username.isEmpty());
    } else if (operation == QLatin1String("SetNetworkInterfaces")) {
        bool reboot = true;
        QVERIFY(DeviceAnswers::rebootNeeded(e, &reboot));
        QVERIFY(!reboot);
    } else if (operation == QLatin1String("SystemReboot")) {
        QString message;
        QVERIFY(DeviceAnswers::rebootMessage(e, &message));
    } else {
        QVERIFY(DeviceAnswers::empty(e, operation));
    }
    // No reader takes another operation's answer.
    const QString other = operation == QLatin1String("GetUsers") ? QStringLiteral("GetScopes") : QStringLiteral("GetUsers");
    QVERIFY(!DeviceAnswers::empty(e, other));
    QList<User> users;
    if (operation != QLatin1String("GetUsers"))
        QVERIFY(!DeviceAnswers::users(e, &users));
}

void tst_OnvifAnswers::faults_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<ErrorKind>("kind");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("subcodes");

    // The kind for each family of capture; the chains as the corpus lists them.
    const QHash<QString, ErrorKind> byFamily{
        {QStringLiteral("NotAuthorized"), ErrorKind::NotAuthorized},
        {QStringLiteral("ActionNotSupported"), ErrorKind::NotSupported},
        {QStringLiteral("InvalidArgVal"), ErrorKind::InvalidArgument},
        {QStringLiteral("InvalidArgs"), ErrorKind::InvalidArgument},
        {QStringLiteral("OperationProhibited"), ErrorKind::InvalidArgument},
        {QStringLiteral("TagMismatch"), ErrorKind::SenderFault},
        {QStringLiteral("WellFormed"), ErrorKind::SenderFault},
        {QStringLiteral("Action"), ErrorKind::ReceiverFault},
        // Its chain is InvalidDot11 / ActionNotSupported.
        {QStringLiteral("InvalidDot11"), ErrorKind::NotSupported},
    };
    const QHash<QString, QPair<QString, QStringList>> chains{
        {QStringLiteral("Fault-OperationProhibited--easy-onvif--1.xml"),
         {QStringLiteral("Sender"), {QStringLiteral("OperationProhibited"), QStringLiteral("Password")}}},
        {QStringLiteral("Fault-OperationProhibited--2bad-onvif--1.xml"),
         {QStringLiteral("Sender"), {QStringLiteral("OperationProhibited"), QStringLiteral("PasswordTooWeak")}}},
        {QStringLiteral("Fault-ActionNotSupported--onvif-nvt--3.xml"),
         {QStringLiteral("Receiver"), {QStringLiteral("ActionNotSupported"), QStringLiteral("InvalidOperation")}}},
        {QStringLiteral("Fault-ActionNotSupported--hammeraj-onvif--1.xml"),
         {QStringLiteral("Sender"), {QStringLiteral("ActionNotSupported"), QStringLiteral("NotImplemented")}}},
        {QStringLiteral("Fault-InvalidDot11--onvif-nvt--1.xml"),
         {QStringLiteral("Reveiver"), {QStringLiteral("InvalidDot11"), QStringLiteral("ActionNotSupported")}}},
        {QStringLiteral("Fault-NotAuthorized--onvif-nvt--2.xml"), {QStringLiteral("Sender"), {QStringLiteral("NotAuthorized")}}},
        {QStringLiteral("Fault-Sender--onvif-nvt--1.xml"), {QStringLiteral("Sender"), {}}},
    };
    const QStringList files = captures(QStringLiteral("Fault-*"));
    QVERIFY(files.size() >= 25);
    for (const QString &file : files) {
        const QString family = file.section(u'-', 1, 1);
        ErrorKind kind = byFamily.value(family, ErrorKind::SenderFault);
        // The plain Sender faults: one says "not implemented" in words only.
        if (family == QLatin1String("Sender")) {
            const QByteArray text = readCapture(file);
            kind = text.contains("not implemented") ? ErrorKind::NotSupported : ErrorKind::SenderFault;
        }
        const auto chain = chains.value(file, {QString(), {QStringLiteral("?")}});
        QTest::newRow(qPrintable(file)) << file << kind << chain.first << chain.second;
    }
}

void tst_OnvifAnswers::faults()
{
    QFETCH(QString, file);
    QFETCH(ErrorKind, kind);
    QFETCH(QString, code);
    QFETCH(QStringList, subcodes);
    const SoapEnvelope e = SoapEnvelope::read(readCapture(file));
    QVERIFY(e.isValid());
    QVERIFY(e.isFault());
    QCOMPARE(errorKindName(e.error().kind), errorKindName(kind));
    QVERIFY(!e.error().code.isEmpty());
    if (!code.isEmpty())
        QCOMPARE(e.error().code, code);
    if (subcodes != QStringList{QStringLiteral("?")})
        QCOMPARE(e.error().subcodes, subcodes);
    // A fault is no answer to any operation.
    DeviceInformation info;
    QVERIFY(!DeviceAnswers::deviceInformation(e, &info));
}

// Values the field sends in odd shapes, each from the capture that shows it.
void tst_OnvifAnswers::quirks()
{
    {
        QList<NetworkInterface> v;
        QVERIFY(DeviceAnswers::networkInterfaces(SoapEnvelope::read(readCapture(
                                                     QStringLiteral("GetNetworkInterfaces--onvif-nvt--2.xml"))),
                                                 &v));
        QCOMPARE(v.constFirst().hwAddress, QStringLiteral("00:04:7d:0e:b8:5c"));
    }
    {
        QList<NetworkInterface> v;
        QVERIFY(DeviceAnswers::networkInterfaces(SoapEnvelope::read(readCapture(
                                                     QStringLiteral("GetNetworkInterfaces--2bad-onvif--1.xml"))),
                                                 &v));
        QCOMPARE(v.size(), 1);
        QCOMPARE(v.constFirst().token, QStringLiteral("eth0"));
        const QList<PrefixedAddress> manual{{QStringLiteral("192.0.2.14"), 24}};
        QCOMPARE(v.constFirst().ipv4->manual, manual);
        QVERIFY(!v.constFirst().ipv4->dhcp);
        QVERIFY(!v.constFirst().ipv6.has_value());
        QCOMPARE(v.constFirst().mtu, 1500);
    }
    {
        // "::" means no IPv6 gateway.
        NetworkGateway g;
        QVERIFY(DeviceAnswers::networkDefaultGateway(
            SoapEnvelope::read(readCapture(QStringLiteral("GetNetworkDefaultGateway--onvif-nvt--3.xml"))), &g));
        QVERIFY(g.ipv6.isEmpty());
    }
    {
        SystemDateTime t;
        QVERIFY(DeviceAnswers::systemDateAndTime(
            SoapEnvelope::read(readCapture(QStringLiteral("GetSystemDateAndTime--onvif-nvt--2.xml"))), &t));
        QVERIFY(t.utc.isValid());
        QVERIFY(!t.local.isValid());
        SystemDateTime t1;
        QVERIFY(DeviceAnswers::systemDateAndTime(
            SoapEnvelope::read(readCapture(QStringLiteral("GetSystemDateAndTime--onvif-nvt--1.xml"))), &t1));
        QCOMPARE(t1.utc, QDateTime(QDate(2018, 2, 27), QTime(23, 9, 59), Qt::UTC));
        QCOMPARE(t1.timeZone, QStringLiteral("MST7MDT,M3.2.0,M11.1.0"));
    }
    {
        QList<User> u;
        QVERIFY(DeviceAnswers::users(SoapEnvelope::read(readCapture(QStringLiteral("GetUsers--onvif-nvt--2.xml"))), &u));
        QVERIFY(u.isEmpty());
        QVERIFY(DeviceAnswers::users(SoapEnvelope::read(readCapture(QStringLiteral("GetUsers--onvif-nvt--1.xml"))), &u));
        QCOMPARE(u.size(), 2);
        QCOMPARE(u.at(1).username, QStringLiteral("root"));
    }
    {
        QList<Scope> s;
        QVERIFY(DeviceAnswers::scopes(SoapEnvelope::read(readCapture(QStringLiteral("GetScopes--ex-onvif--1.xml"))), &s));
        QStringList items;
        for (const Scope &scope : s)
            items.append(scope.item);
        QVERIFY(isFactoryDefault(items));
        QCOMPARE(scopeValues(items, u"name"), QStringList{QStringLiteral("Camera")});
        QCOMPARE(scopeValues(items, u"hardware"), QStringList{QStringLiteral("Camera")});
        // "location/" with nothing after it is no location.
        QVERIFY(scopeValues(items, u"location").isEmpty());
        QVERIFY(s.constFirst().fixed);
    }
}

void tst_OnvifAnswers::hostile_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<XmlTree::Status>("status");

    const QByteArray info = "<tds:GetDeviceInformationResponse><tds:Model>M</tds:Model></tds:GetDeviceInformationResponse>";
    QTest::newRow("fine") << envelope(info) << XmlTree::Status::Ok;
    QTest::newRow("empty") << QByteArray() << XmlTree::Status::Empty;
    QTest::newRow("white space") << QByteArray("  \r\n") << XmlTree::Status::Empty;
    QTest::newRow("oversized") << envelope(info + QByteArray(300 * 1024, ' ')) << XmlTree::Status::TooLarge;
    QByteArray deep = info;
    for (int i = 0; i < 40; ++i)
        deep = "<tt:X>" + deep + "</tt:X>";
    QTest::newRow("nested too deep") << envelope(deep) << XmlTree::Status::TooDeep;
    QByteArray wide;
    for (int i = 0; i < 25000; ++i)
        wide += "<a/>";
    QTest::newRow("too many elements") << envelope(wide) << XmlTree::Status::TooManyElements;
    QTest::newRow("billion laughs")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE e:Envelope [<!ENTITY a \"aaaaaaaaaa\">"
                      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>")
               + envelope("<tds:GetDeviceInformationResponse><tds:Model>&c;</tds:Model></tds:GetDeviceInformationResponse>")
                     .mid(21)
        << XmlTree::Status::Dtd;
    QTest::newRow("external entity")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY xxe SYSTEM \"file:///etc/passwd\">]><x>&xxe;</x>")
        << XmlTree::Status::Dtd;
    QTest::newRow("bare doctype") << QByteArray("<!DOCTYPE x><x/>") << XmlTree::Status::Dtd;
    QTest::newRow("undeclared entity") << envelope("<tds:X>&nope;</tds:X>") << XmlTree::Status::NotWellFormed;
    QTest::newRow("truncated") << envelope(info).left(150) << XmlTree::Status::NotWellFormed;
    QTest::newRow("undeclared prefix") << envelope("<q:GetDeviceInformationResponse/>") << XmlTree::Status::NotWellFormed;
    QTest::newRow("two documents") << envelope(info) + envelope(info) << XmlTree::Status::NotWellFormed;
    QTest::newRow("binary") << QByteArray("\x00\x01\x02\xff\xfe", 5) << XmlTree::Status::NotWellFormed;
    // Well-formed, but no SOAP 1.2 answer: refused by the envelope reader.
    QTest::newRow("SOAP 1.1 envelope") << envelope(info, "http://schemas.xmlsoap.org/soap/envelope/") << XmlTree::Status::Ok;
    QTest::newRow("no envelope") << QByteArray("<tds:GetDeviceInformationResponse "
                                               "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"/>")
                                 << XmlTree::Status::Ok;
    QTest::newRow("envelope without body")
        << QByteArray("<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Header/></e:Envelope>")
        << XmlTree::Status::Ok;
    QTest::newRow("answer in another namespace")
        << envelope("<x:GetDeviceInformationResponse xmlns:x=\"http://www.onvif.org/ver20/device/wsdl\"/>")
        << XmlTree::Status::Ok;
    QTest::newRow("answer named by prefix only")
        << envelope("<tt:GetDeviceInformationResponse/>") << XmlTree::Status::Ok;
}

// Nothing here crashes, and nothing but the first row is an answer.
void tst_OnvifAnswers::hostile()
{
    QFETCH(QByteArray, data);
    QFETCH(XmlTree::Status, status);
    QCOMPARE(int(XmlTree::parse(data).status()), int(status));
    const SoapEnvelope e = SoapEnvelope::read(data);
    DeviceInformation info;
    const bool read = DeviceAnswers::deviceInformation(e, &info);
    QCOMPARE(read, QByteArray(QTest::currentDataTag()) == "fine");
    if (!read)
        QVERIFY(info.model.isEmpty());
    if (status != XmlTree::Status::Ok) {
        QVERIFY(!e.isValid());
        QCOMPARE(e.error().kind, ErrorKind::BadAnswer);
    }
}

// Fault codes resolve by namespace where the prefix is declared; and a
// prefix bound to another URI on an inner element wins there.
void tst_OnvifAnswers::qnames()
{
    const XmlTree t = XmlTree::parse("<a xmlns:p=\"urn:one\" xmlns=\"urn:dflt\"><b xmlns:p=\"urn:two\">p:x</b><c>y</c></a>");
    QVERIFY(t.isValid());
    QString ns;
    QString local;
    const int b = t.child(t.root(), u"urn:dflt", u"b");
    QVERIFY(t.resolveQName(b, t.text(b), &ns, &local));
    QCOMPARE(ns, QStringLiteral("urn:two"));
    QCOMPARE(local, QStringLiteral("x"));
    QVERIFY(t.resolveQName(t.root(), u" p:z ", &ns, &local));
    QCOMPARE(ns, QStringLiteral("urn:one"));
    const int c = t.child(t.root(), u"urn:dflt", u"c");
    QVERIFY(t.resolveQName(c, u"y", &ns, &local));
    QCOMPARE(ns, QStringLiteral("urn:dflt"));
    QVERIFY(!t.resolveQName(c, u"q:y", &ns, &local));
    QVERIFY(!t.resolveQName(c, u"p:", &ns, &local));
}

void tst_OnvifAnswers::macAddresses_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("colons") << QStringLiteral("28:57:BE:65:7d:d5") << QStringLiteral("28:57:be:65:7d:d5");
    QTest::newRow("bare") << QStringLiteral(" 00047D0EB85C ") << QStringLiteral("00:04:7d:0e:b8:5c");
    QTest::newRow("dashes") << QStringLiteral("00-04-7D-0E-B8-5C") << QStringLiteral("00:04:7d:0e:b8:5c");
    QTest::newRow("short") << QStringLiteral("00:04:7d:0e:b8") << QStringLiteral("");
    QTest::newRow("long") << QStringLiteral("00047D0EB85C00") << QStringLiteral("");
    QTest::newRow("not hex") << QStringLiteral("00047D0EB85G") << QStringLiteral("");
    QTest::newRow("wide digit") << QString::fromUtf8("00047D0EB85\xef\xbc\x91") << QStringLiteral("");
    QTest::newRow("empty") << QStringLiteral("") << QStringLiteral("");
}

void tst_OnvifAnswers::macAddresses()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(DeviceAnswers::normalizeMac(in), out);
}

QTEST_GUILESS_MAIN(tst_OnvifAnswers)
#include "tst_onvifanswers.moc"
