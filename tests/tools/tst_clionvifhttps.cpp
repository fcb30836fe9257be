// vosktool-cli and ONVIF devices that offer HTTPS, as a script runs it:
// the first password said to go in clear to a device with plain HTTP only,
// the certificate trusted on first use, a changed one refused until the
// user accepts it. The simulator's certificate is kept in a file of the
// test's own; starting it with another file is a device that changed its
// certificate (or a rogue in its place).

#include "tests/tools/clirun.h"
#include "tests/vosk/voskfixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QUrl>

using namespace VoskTest;

namespace {

constexpr int kPort = 47293;
const char kGroup[] = "239.255.86.193";
constexpr int kOnvifPort = 34793;
constexpr int kHttpPort = 18193;
constexpr int kOnvif = 4;
// 0 active, HTTPS announced; 1 factory, plain HTTP; 2 factory, HTTPS
// announced; 3 active, HTTPS only in GetNetworkProtocols.
enum { kAnnounced = 0, kPlainFactory = 1, kSecureFactory = 2, kQuiet = 3 };
const QByteArray kCredentials = QByteArrayLiteral("admin\nAdmin12345\n");

QString address(int n)
{
    return QStringLiteral("127.59.0.%1").arg(n + 1);
}

using CliTest::Run;

} // namespace

class TestCliOnvifHttps final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void activationSaysClearText();
    void signedCallsPinOnFirstUse_data();
    void signedCallsPinOnFirstUse();
    void changedCertificateRefused();
    void acceptedCertificate_data();
    void acceptedCertificate();

private:
    bool startSim(const QString &certificate);
    Run cli(const QStringList &arguments, const QByteArray &input = QByteArray());
    // set NAME --gateway G, signed in with the fleet's credentials.
    Run setGateway(int device, const QString &gateway, const QStringList &more = {});
    // The fingerprint of the certificate a fleet started with `name` shows,
    // read from its file as a certificate viewer would show it.
    QString fingerprint(const QString &name) const;
    QHash<QString, QString> pins() const;

    Devsim m_sim;
    QTemporaryDir m_dir;
    QString m_endpoint; // of device kAnnounced, as the refusal names it
};

void TestCliOnvifHttps::initTestCase()
{
    if (!foreignInterfaces().isEmpty())
        QSKIP("needs the private network namespace of ./test.sh");
    pinToLoopback(kPort, kGroup);
    QVERIFY(m_dir.isValid());
    QVERIFY(startSim(QStringLiteral("first")));
}

bool TestCliOnvifHttps::startSim(const QString &certificate)
{
    m_sim.stop();
    return m_sim.start(QStringLiteral("--count 0 --seed 37 --onvif %1 --onvif-discovery-port %2 --onvif-port %3 "
                                      "--onvif-address %4 --onvif-behaviour plain --onvif-behaviour 0:https "
                                      "--onvif-behaviour 1:factory --onvif-behaviour 2:factory,https "
                                      "--onvif-behaviour 3:https=quiet --onvif-certificate")
                           .arg(kOnvif)
                           .arg(kOnvifPort)
                           .arg(kHttpPort)
                           .arg(address(0))
                           .split(QLatin1Char(' '))
                       << m_dir.filePath(certificate + QStringLiteral(".pem")));
}

Run TestCliOnvifHttps::cli(const QStringList &arguments, const QByteArray &input)
{
    QProcessEnvironment environment = CliTest::onvifEnvironment(kOnvifPort);
    environment.insert(QStringLiteral("VOSK_ONVIF_CERTIFICATES"), m_dir.filePath(QStringLiteral("pins.ini")));
    return CliTest::run(arguments, input, environment);
}

Run TestCliOnvifHttps::setGateway(int device, const QString &gateway, const QStringList &more)
{
    // The administrator password on standard input, the sign-in's in a file.
    const QString credentials = m_dir.filePath(QStringLiteral("credentials.txt"));
    QFile file(credentials);
    if (file.open(QIODevice::WriteOnly))
        file.write(kCredentials);
    file.close();
    return cli(QStringList{QStringLiteral("set"), address(device), QStringLiteral("--gateway"), gateway,
                           QStringLiteral("--password-file"), QStringLiteral("-"), QStringLiteral("--onvif-credentials"),
                           credentials, QStringLiteral("--wait"), QStringLiteral("20000")}
                   + more,
               "Admin12345\n");
}

QString TestCliOnvifHttps::fingerprint(const QString &name) const
{
    const QList<QSslCertificate> certificates =
        QSslCertificate::fromPath(m_dir.filePath(name + QStringLiteral(".pem")));
    return certificates.isEmpty()
        ? QString()
        : QString::fromLatin1(certificates.first().digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QHash<QString, QString> TestCliOnvifHttps::pins() const
{
    QSettings settings(m_dir.filePath(QStringLiteral("pins.ini")), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Certificates"));
    QHash<QString, QString> kept;
    for (const QString &key : settings.childKeys())
        kept.insert(QUrl::fromPercentEncoding(key.toLatin1()), settings.value(key).toString());
    return kept;
}

// One line on standard error, before anything is sent, for the device
// with plain HTTP only; none for the one that offers HTTPS, which takes
// the password over it (its certificate now trusted).
void TestCliOnvifHttps::activationSaysClearText()
{
    QFile password(m_dir.filePath(QStringLiteral("new.txt")));
    QVERIFY(password.open(QIODevice::WriteOnly));
    password.write("Fresh-Pass-2026\n");
    password.close();
    const Run run = cli({QStringLiteral("activate"), address(kPlainFactory), address(kSecureFactory),
                         QStringLiteral("--password-file"), password.fileName(), QStringLiteral("--wait"),
                         QStringLiteral("20000")});
    QVERIFY2(run.code == 0, run.out + run.err);
    const QStringList notices = QString::fromUtf8(run.err)
                                    .split(QLatin1Char('\n'))
                                    .filter(QStringLiteral("offers no HTTPS"));
    QCOMPARE(notices.size(), 1);
    QVERIFY2(notices.first().contains(address(kPlainFactory) + QLatin1Char(':')), qPrintable(notices.first()));
    const QHash<QString, QString> kept = pins();
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept.cbegin().value(), fingerprint(QStringLiteral("first")));
}

// Signed calls go over HTTPS whether the device names it in its XAddrs or
// only in GetNetworkProtocols, and trust the certificate they first meet.
void TestCliOnvifHttps::signedCallsPinOnFirstUse_data()
{
    QTest::addColumn<int>("device");
    QTest::newRow("https XAddr") << int(kAnnounced);
    QTest::newRow("HTTPS in GetNetworkProtocols") << int(kQuiet);
}

void TestCliOnvifHttps::signedCallsPinOnFirstUse()
{
    QFETCH(int, device);
    const int before = int(pins().size());
    const Run run = setGateway(device, QStringLiteral("127.59.0.254"));
    QVERIFY2(run.code == 0, run.out + run.err);
    QVERIFY2(run.out.contains("Succeed"), run.out);
    const QHash<QString, QString> kept = pins();
    QCOMPARE(int(kept.size()), before + 1);
    for (const QString &pinned : kept)
        QCOMPARE(pinned, fingerprint(QStringLiteral("first")));
}

// The same devices with another certificate: refused with both
// fingerprints and the endpoint to accept, nothing changed, the trusted
// one kept.
void TestCliOnvifHttps::changedCertificateRefused()
{
    const QHash<QString, QString> before = pins();
    QVERIFY(startSim(QStringLiteral("second")));
    const QString first = fingerprint(QStringLiteral("first"));
    const QString second = fingerprint(QStringLiteral("second"));
    QVERIFY(!second.isEmpty() && second != first);
    const Run run = setGateway(kAnnounced, QStringLiteral("127.59.0.253"));
    QVERIFY(run.code != 0);
    QVERIFY(!run.out.contains("Succeed"));
    const QString err = QString::fromUtf8(run.err);
    QVERIFY2(err.contains(first) && err.contains(second), qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("nothing was sent")), qPrintable(err));
    const QRegularExpressionMatch named =
        QRegularExpression(QStringLiteral("--accept-certificate (urn:\\S+)")).match(err);
    QVERIFY2(named.hasMatch(), qPrintable(err));
    m_endpoint = named.captured(1);
    QCOMPARE(pins(), before);
}

// Accepted by endpoint or by fingerprint, the new certificate replaces
// the old one and the change goes through.
void TestCliOnvifHttps::acceptedCertificate_data()
{
    QTest::addColumn<bool>("byEndpoint");
    QTest::newRow("endpoint") << true;
    QTest::newRow("fingerprint") << false;
}

void TestCliOnvifHttps::acceptedCertificate()
{
    QFETCH(bool, byEndpoint);
    QVERIFY(!m_endpoint.isEmpty());
    {
        // The old certificate trusted again, as before the first row.
        QSettings settings(m_dir.filePath(QStringLiteral("pins.ini")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Certificates/") + QString::fromLatin1(QUrl::toPercentEncoding(m_endpoint)),
                          fingerprint(QStringLiteral("first")));
    }
    const QString second = fingerprint(QStringLiteral("second"));
    const Run run = setGateway(kAnnounced, QStringLiteral("127.59.0.252"),
                               {QStringLiteral("--accept-certificate"), byEndpoint ? m_endpoint : second});
    QVERIFY2(run.code == 0, run.out + run.err);
    QVERIFY2(run.out.contains("Succeed"), run.out);
    QCOMPARE(pins().value(m_endpoint), second);
}

QTEST_GUILESS_MAIN(TestCliOnvifHttps)
#include "tst_clionvifhttps.moc"
