// The HTTP side of the simulated ONVIF devices without a socket: the
// bounded request reader (split and pipelined requests, every refusal) and
// HTTP digest against RFC 7616's own example.

#include "tools/devsim/httpdigest.h"
#include "tools/devsim/httprequestparser.h"

#include <QTest>

using VoskSim::HttpDigest;
using VoskSim::HttpRequestParser;

class tst_OnvifHttp : public QObject
{
    Q_OBJECT

private slots:
    void requestsArriveInPieces();
    void pipelinedRequests();
    void refusals_data();
    void refusals();
    void expectContinue();
    void rfc7616Example_data();
    void rfc7616Example();
    void parameterParsing_data();
    void parameterParsing();
};

void tst_OnvifHttp::requestsArriveInPieces()
{
    const QByteArray request = "POST /onvif/device_service HTTP/1.1\r\nHost: 127.1.0.1\r\n"
                               "Content-Type: application/soap+xml\r\nContent-Length: 11\r\n\r\nhello world";
    // Every split point gives the same request.
    for (int cut = 1; cut < request.size(); ++cut) {
        HttpRequestParser parser;
        QCOMPARE(parser.feed(request.left(cut)), HttpRequestParser::State::NeedMore);
        QCOMPARE(parser.feed(request.mid(cut)), HttpRequestParser::State::Complete);
        QCOMPARE(parser.request().body, QByteArray("hello world"));
        QCOMPARE(parser.request().header("content-type"), QByteArray("application/soap+xml"));
    }
}

void tst_OnvifHttp::pipelinedRequests()
{
    HttpRequestParser parser;
    const QByteArray two = "POST /a HTTP/1.1\r\nContent-Length: 1\r\n\r\nA"
                           "POST /b HTTP/1.0\r\nContent-Length: 2\r\nConnection: keep-alive\r\n\r\nBB";
    QCOMPARE(parser.feed(two), HttpRequestParser::State::Complete);
    QCOMPARE(parser.request().target, QByteArray("/a"));
    QVERIFY(parser.request().keepAlive());
    QCOMPARE(parser.next(), HttpRequestParser::State::Complete);
    QCOMPARE(parser.request().target, QByteArray("/b"));
    QCOMPARE(parser.request().body, QByteArray("BB"));
    QVERIFY(parser.request().keepAlive());
    QCOMPARE(parser.next(), HttpRequestParser::State::NeedMore);
}

void tst_OnvifHttp::refusals_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");

    QTest::newRow("no length") << QByteArray("POST / HTTP/1.1\r\n\r\n") << 411;
    QTest::newRow("chunked") << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n") << 501;
    QTest::newRow("body too large") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 65537\r\n\r\n") << 413;
    QTest::newRow("negative length") << QByteArray("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n") << 400;
    QTest::newRow("two lengths") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nx") << 400;
    QTest::newRow("HTTP/2") << QByteArray("POST / HTTP/2.0\r\nContent-Length: 0\r\n\r\n") << 505;
    QTest::newRow("not HTTP") << QByteArray("hello there\r\n\r\n") << 400;
    QTest::newRow("folded header") << QByteArray("POST / HTTP/1.1\r\nX-A: 1\r\n  continued\r\nContent-Length: 0\r\n\r\n") << 400;
    QTest::newRow("space before colon") << QByteArray("POST / HTTP/1.1\r\nContent-Length : 0\r\n\r\n") << 400;
    QTest::newRow("head too large") << QByteArray("POST / HTTP/1.1\r\nX: " + QByteArray(9000, 'a')) << 431;
    QByteArray many = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 70; ++i)
        many += "X-" + QByteArray::number(i) + ": 1\r\n";
    QTest::newRow("too many headers") << QByteArray(many + "\r\n") << 431;
}

void tst_OnvifHttp::refusals()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    HttpRequestParser parser;
    QCOMPARE(parser.feed(request), HttpRequestParser::State::Failed);
    QCOMPARE(parser.errorStatus(), status);
    // Nothing more is read after a refusal.
    QCOMPARE(parser.feed("GET / HTTP/1.1\r\n\r\n"), HttpRequestParser::State::Failed);
}

void tst_OnvifHttp::expectContinue()
{
    HttpRequestParser parser;
    parser.feed("POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n");
    QVERIFY(parser.expectsContinue());
    QCOMPARE(parser.feed("abc"), HttpRequestParser::State::Complete);
    QVERIFY(!parser.expectsContinue());
}

void tst_OnvifHttp::rfc7616Example_data()
{
    QTest::addColumn<QByteArray>("algorithm");
    QTest::addColumn<QByteArray>("expected");
    // RFC 7616 section 3.9.1.
    QTest::newRow("MD5") << QByteArray("MD5") << QByteArray("8ca523f5e9506fed4657c9700eebdbec");
    QTest::newRow("SHA-256") << QByteArray("SHA-256")
                             << QByteArray("753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1");
    QTest::newRow("unknown") << QByteArray("SHA-1") << QByteArray();
}

void tst_OnvifHttp::rfc7616Example()
{
    QFETCH(QByteArray, algorithm);
    QFETCH(QByteArray, expected);
    QCOMPARE(HttpDigest::response(algorithm, "Mufasa", "http-auth@example.org", "Circle of Life", "GET",
                                  "/dir/index.html", "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v", "00000001",
                                  "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ"),
             expected);
}

void tst_OnvifHttp::parameterParsing_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("username");

    QTest::newRow("quoted and bare") << QByteArray("Digest username=\"admin\", qop=auth, nc=00000001") << true
                                     << QByteArray("admin");
    QTest::newRow("escaped quote") << QByteArray("Digest username=\"ad\\\"min\"") << true << QByteArray("ad\"min");
    QTest::newRow("comma inside quotes") << QByteArray("Digest username=\"a,b\", realm=\"r\"") << true << QByteArray("a,b");
    QTest::newRow("scheme in other case") << QByteArray("digest username=x") << true << QByteArray("x");
    QTest::newRow("basic") << QByteArray("Basic YWRtaW46YWRtaW4=") << false << QByteArray();
    QTest::newRow("unterminated quote") << QByteArray("Digest username=\"admin") << false << QByteArray();
    QTest::newRow("key twice") << QByteArray("Digest username=a, username=b") << false << QByteArray();
    QTest::newRow("no value") << QByteArray("Digest username") << false << QByteArray();
}

void tst_OnvifHttp::parameterParsing()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, valid);
    QFETCH(QByteArray, username);
    const auto params = HttpDigest::parseParameters(header);
    QCOMPARE(params.has_value(), valid);
    if (params)
        QCOMPARE(params->value("username"), username);
}

QTEST_GUILESS_MAIN(tst_OnvifHttp)
#include "tst_onvifhttp.moc"
