// WS-Security UsernameToken and HTTP Digest against published vectors,
// and the Digest challenge parser against the shapes servers send.

#include "onvif/httpdigest.h"
#include "onvif/usernametoken.h"
#include "onvif/xmltree.h"
#include "onvif/namespaces.h"

#include <QXmlStreamWriter>
#include <QtTest>

using namespace Onvif;

class tst_OnvifAuth : public QObject
{
    Q_OBJECT

private slots:
    void usernameTokenVector();
    void usernameTokenHeader();
    void digestVectors_data();
    void digestVectors();
    void challenges_data();
    void challenges();
    void authorizationHeader();
};

// The example of the ONVIF Application Programmer's Guide.
void tst_OnvifAuth::usernameTokenVector()
{
    const QByteArray nonce = QByteArray::fromBase64("LKqI6G/AikKCQrN0zqZFlg==");
    QCOMPARE(UsernameToken::digest(nonce, QStringLiteral("2010-09-16T07:50:45Z"), QStringLiteral("userpassword")),
             QByteArray("tuOSpGlFlIXsozq4HFNeeGeFLEI="));
    const UsernameToken token(QStringLiteral("user"), QStringLiteral("userpassword"),
                              QDateTime(QDate(2010, 9, 16), QTime(7, 50, 45, 678), Qt::UTC), nonce);
    QCOMPARE(token.created(), QStringLiteral("2010-09-16T07:50:45Z"));
    QCOMPARE(token.passwordDigest(), QByteArray("tuOSpGlFlIXsozq4HFNeeGeFLEI="));
    // Created is UTC whatever zone the time comes in.
    const UsernameToken shifted(QStringLiteral("user"), QStringLiteral("x"),
                                QDateTime(QDate(2010, 9, 16), QTime(9, 50, 45), QTimeZone(7200)), nonce);
    QCOMPARE(shifted.created(), QStringLiteral("2010-09-16T07:50:45Z"));
    // Fresh tokens carry fresh 16-byte nonces.
    const UsernameToken a(QStringLiteral("u"), QStringLiteral("p"), QDateTime::currentDateTimeUtc());
    const UsernameToken b(QStringLiteral("u"), QStringLiteral("p"), QDateTime::currentDateTimeUtc());
    QCOMPARE(a.nonce().size(), 16);
    QVERIFY(a.nonce() != b.nonce());
}

// The header as a device reads it: by namespace, with the password never
// in clear.
void tst_OnvifAuth::usernameTokenHeader()
{
    const QByteArray nonce = QByteArray::fromBase64("LKqI6G/AikKCQrN0zqZFlg==");
    const UsernameToken token(QStringLiteral("admin<&>"), QStringLiteral("userpassword"),
                              QDateTime(QDate(2010, 9, 16), QTime(7, 50, 45), Qt::UTC), nonce);
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.writeStartDocument();
    token.write(w);
    w.writeEndDocument();
    QVERIFY(!xml.contains("userpassword"));
    const XmlTree t = XmlTree::parse(xml);
    QVERIFY(t.isValid());
    QVERIFY(t.is(t.root(), Ns::Security, u"Security"));
    const int u = t.child(t.root(), Ns::Security, u"UsernameToken");
    QCOMPARE(t.childText(u, Ns::Security, u"Username"), QStringLiteral("admin<&>"));
    const int password = t.child(u, Ns::Security, u"Password");
    QCOMPARE(t.text(password), QStringLiteral("tuOSpGlFlIXsozq4HFNeeGeFLEI="));
    QCOMPARE(t.attribute(password, u"", u"Type"), Ns::PasswordDigest.toString());
    QCOMPARE(t.childText(u, Ns::Security, u"Nonce"), QStringLiteral("LKqI6G/AikKCQrN0zqZFlg=="));
    QCOMPARE(t.childText(u, Ns::SecurityUtility, u"Created"), QStringLiteral("2010-09-16T07:50:45Z"));
}

void tst_OnvifAuth::digestVectors_data()
{
    QTest::addColumn<QByteArray>("challenge");
    QTest::addColumn<QByteArray>("username");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("cnonce");
    QTest::addColumn<QByteArray>("expected");

    // RFC 7616, 3.9.1, both algorithms.
    const QByteArray rfc7616 = "realm=\"http-auth@example.org\", qop=\"auth, auth-int\", "
                               "nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", "
                               "opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"";
    const QByteArray cnonce7616 = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";
    QTest::newRow("RFC 7616 MD5") << "Digest " + rfc7616 + ", algorithm=MD5" << QByteArray("Mufasa") << QByteArray("Circle of Life")
                                  << cnonce7616 << QByteArray("8ca523f5e9506fed4657c9700eebdbec");
    QTest::newRow("RFC 7616 SHA-256")
        << "Digest " + rfc7616 + ", algorithm=SHA-256" << QByteArray("Mufasa") << QByteArray("Circle of Life") << cnonce7616
        << QByteArray("753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1");
    // RFC 2617, 3.5: no algorithm given means MD5.
    QTest::newRow("RFC 2617") << QByteArray("Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                                            "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
                                            "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"")
                              << QByteArray("Mufasa") << QByteArray("Circle Of Life") << QByteArray("0a4f113b")
                              << QByteArray("6629fae49393a05397450978507c4ef1");
    // RFC 2069 (no qop), the form old firmware still sends:
    // MD5(MD5(A1):nonce:MD5(A2)), computed independently below.
    const QByteArray ha1 = QCryptographicHash::hash("Mufasa:testrealm@host.com:Circle Of Life", QCryptographicHash::Md5).toHex();
    const QByteArray ha2 = QCryptographicHash::hash("GET:/dir/index.html", QCryptographicHash::Md5).toHex();
    QTest::newRow("RFC 2069")
        << QByteArray("Digest realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\"") << QByteArray("Mufasa")
        << QByteArray("Circle Of Life") << QByteArray("ignored")
        << QCryptographicHash::hash(ha1 + ":dcd98b7102dd2f0e8b11d0f600bfb0c093:" + ha2, QCryptographicHash::Md5).toHex();
}

void tst_OnvifAuth::digestVectors()
{
    QFETCH(QByteArray, challenge);
    QFETCH(QByteArray, username);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, cnonce);
    QFETCH(QByteArray, expected);
    const QList<HttpDigest::Challenge> parsed = HttpDigest::parse(challenge);
    QCOMPARE(parsed.size(), 1);
    QCOMPARE(HttpDigest::response(parsed.constFirst(), QString::fromUtf8(username), QString::fromUtf8(password), "GET", "/dir/index.html", cnonce, 1),
             expected);
}

void tst_OnvifAuth::challenges_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArrayList>("algorithms");  // answerable, best first
    QTest::addColumn<QByteArray>("realm");

    const QByteArray p = "realm=\"r\", nonce=\"n\"";
    // RFC 7616's two headers, as Qt joins them with a comma.
    QTest::newRow("MD5 then SHA-256 headers")
        << "Digest " + p + ", qop=\"auth, auth-int\", algorithm=MD5, Digest " + p + ", qop=\"auth\", algorithm=SHA-256"
        << QByteArrayList{"SHA-256", "MD5"} << QByteArray("r");
    QTest::newRow("Basic beside Digest") << "Basic realm=\"b\", Digest " + p + ", qop=auth"
                                         << QByteArrayList{""} << QByteArray("r");
    QTest::newRow("token68 scheme first") << "Negotiate abc==, Digest " + p << QByteArrayList{""} << QByteArray("r");
    QTest::newRow("sess") << "Digest " + p + ", qop=auth, algorithm=SHA-256-sess" << QByteArrayList{"SHA-256-sess"}
                          << QByteArray("r");
    QTest::newRow("case and spaces") << QByteArray("digest REALM = \"r\" , NONCE=\"n\",QOP=\"AUTH\"")
                                     << QByteArrayList{""} << QByteArray("r");
    QTest::newRow("escaped quote in realm") << QByteArray("Digest realm=\"a\\\"b\", nonce=\"n\", qop=\"auth\"")
                                            << QByteArrayList{""} << QByteArray("a\"b");
    QTest::newRow("auth-int only") << "Digest " + p + ", qop=\"auth-int\"" << QByteArrayList{} << QByteArray();
    QTest::newRow("unknown algorithm") << "Digest " + p + ", algorithm=SHA-512-256" << QByteArrayList{} << QByteArray();
    QTest::newRow("userhash") << "Digest " + p + ", userhash=true" << QByteArrayList{} << QByteArray();
    QTest::newRow("no nonce") << QByteArray("Digest realm=\"r\", qop=auth") << QByteArrayList{} << QByteArray();
    QTest::newRow("Basic only") << QByteArray("Basic realm=\"device\"") << QByteArrayList{} << QByteArray();
    QTest::newRow("unterminated quote") << QByteArray("Digest realm=\"r, nonce=\"n") << QByteArrayList{} << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArrayList{} << QByteArray();
    QTest::newRow("junk") << QByteArray("=,=\",\"\\") << QByteArrayList{} << QByteArray();
}

void tst_OnvifAuth::challenges()
{
    QFETCH(QByteArray, header);
    QFETCH(QByteArrayList, algorithms);
    QFETCH(QByteArray, realm);
    const QList<HttpDigest::Challenge> parsed = HttpDigest::parse(header);
    QByteArrayList got;
    for (const HttpDigest::Challenge &c : parsed)
        got.append(c.algorithm);
    QCOMPARE(got, algorithms);
    if (!parsed.isEmpty()) {
        QCOMPARE(parsed.constFirst().realm, realm);
        QCOMPARE(parsed.constFirst().nonce, QByteArray("n"));
    }
}

void tst_OnvifAuth::authorizationHeader()
{
    const QList<HttpDigest::Challenge> parsed = HttpDigest::parse(
        "Digest realm=\"http-auth@example.org\", qop=\"auth\", algorithm=SHA-256, "
        "nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"");
    QCOMPARE(parsed.size(), 1);
    const QByteArray header = HttpDigest::authorization(parsed.constFirst(), QStringLiteral("Mufasa"),
                                                        QStringLiteral("Circle of Life"), "GET", "/dir/index.html",
                                                        "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ", 1);
    // What RFC 7616 shows the client sending.
    QVERIFY(header.startsWith("Digest username=\"Mufasa\""));
    for (const char *part : {"realm=\"http-auth@example.org\"", "uri=\"/dir/index.html\"", "algorithm=SHA-256",
                             "nc=00000001", "qop=auth", "cnonce=\"f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ\"",
                             "response=\"753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1\"",
                             "opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\""})
        QVERIFY2(header.contains(part), part);
    QVERIFY(!header.contains("Circle"));
    // The nonce count is hex, eight digits; a quote in the user name is escaped.
    const QByteArray later = HttpDigest::authorization(parsed.constFirst(), QStringLiteral("a\"b"), QStringLiteral("p"),
                                                       "POST", "/onvif/device_service", "c", 26);
    QVERIFY(later.contains("nc=0000001a"));
    QVERIFY(later.contains("username=\"a\\\"b\""));
}

QTEST_GUILESS_MAIN(tst_OnvifAuth)
#include "tst_onvifauth.moc"
