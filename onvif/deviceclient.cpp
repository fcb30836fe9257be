#include "onvif/deviceclient.h"

#include "onvif/deviceanswers.h"
#include "onvif/httppost.h"
#include "onvif/onviflog.h"
#include "onvif/soapenvelope.h"
#include "onvif/usernametoken.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QCryptographicHash>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

namespace Onvif {

namespace {

// A device that answers a token with NotAuthorized is asked for its time
// again; the token is sent once more only if the clock moved by more than
// this (a wrong password costs one extra exchange, no more).
constexpr qint64 kClockSlackMs = 2000;

// Real devices answer with a dozen header lines; far more is a rogue.
constexpr qsizetype kMaxHeadBytes = 32 * 1024;
constexpr int kMaxHeadFields = 100;
// What Qt's HTTP worker may hold for an https reply before we read it.
constexpr qint64 kReplyBuffer = 64 * 1024;

ErrorKind transportKind(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
        return ErrorKind::Unreachable;
    case QNetworkReply::TimeoutError:
        return ErrorKind::Timeout;
    default:
        return ErrorKind::BadAnswer;
    }
}

} // namespace

struct DeviceClient::Exchange
{
    quint64 id = 0;
    DeviceRequest request;
    bool authenticate = false;
    Finish finish;
    // The transport of the current try: our own bounded post for http,
    // Qt's manager for https.
    QPointer<HttpPost> post;
    QPointer<QNetworkReply> reply;
    QByteArray received;  // what the reply gave so far
    bool sentToken = false;
    bool sentDigest = false;
    int digestAttempts = 0;
    bool resynced = false;
    bool timedOut = false;
    bool tooLarge = false;
    bool cancelled = false;
    bool certificateRefused = false;
};

DeviceClient::DeviceClient(const QUrl &serviceAddress, QNetworkAccessManager *network, QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_url(serviceAddress)
{
    Q_ASSERT(network);
}

DeviceClient::~DeviceClient()
{
    // No call back from here: the owner is going away.
    auto exchanges = std::move(m_exchanges);
    for (auto &[id, exchange] : exchanges) {
        delete exchange->post;
        if (exchange->reply) {
            exchange->reply->disconnect(this);
            exchange->reply->abort();
            exchange->reply->deleteLater();
        }
    }
}

QNetworkAccessManager *DeviceClient::makeNetworkManager(QObject *parent)
{
    auto *network = new QNetworkAccessManager(parent);
    network->setProxy(QNetworkProxy::NoProxy);
    network->setCookieJar(nullptr);
    network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    return network;
}

void DeviceClient::setCredentials(const QString &username, const QString &password)
{
    if (username != m_username || password != m_password) {
        m_useDigest = false;
        m_authMethod = AuthMethod::None;
    }
    m_username = username;
    m_password = password;
}

void DeviceClient::clearCredentials()
{
    setCredentials(QString(), QString());
}

QDateTime DeviceClient::deviceNow() const
{
    const QDateTime local = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
    return local.toUTC().addMSecs(m_clockOffsetMs);
}

void DeviceClient::postError(Finish finish, const Error &error)
{
    QMetaObject::invokeMethod(
        this, [finish = std::move(finish), error] { finish(error, nullptr); }, Qt::QueuedConnection);
}

template <typename T>
void DeviceClient::read(const DeviceRequest &request, bool (*reader)(const SoapEnvelope &, T *), Callback<T> done)
{
    call(request, true, [done = std::move(done), reader](const Error &error, const SoapEnvelope *answer) {
        Result<T> result;
        result.error = error;
        if (error.isOk() && !reader(*answer, &result.value))
            result.error = Error::make(ErrorKind::BadAnswer, QStringLiteral("not the expected answer"), error.httpStatus);
        done(result);
    });
}

void DeviceClient::plain(const DeviceRequest &request, Callback<NoValue> done)
{
    const QString operation = request.operation;
    call(request, true, [done = std::move(done), operation](const Error &error, const SoapEnvelope *answer) {
        Result<NoValue> result;
        result.error = error;
        if (error.isOk() && !DeviceAnswers::empty(*answer, operation))
            result.error = Error::make(ErrorKind::BadAnswer, QStringLiteral("not the expected answer"), error.httpStatus);
        done(result);
    });
}

void DeviceClient::getSystemDateAndTime(Callback<SystemDateTime> done)
{
    // One exchange serves this call and the clock offset alike.
    syncClock([done = std::move(done)](const Error &error, const SystemDateTime &time) {
        Result<SystemDateTime> result;
        result.error = error;
        result.value = time;
        done(result);
    });
}

void DeviceClient::getDeviceInformation(Callback<DeviceInformation> done)
{
    read(DeviceRequests::plain(QStringLiteral("GetDeviceInformation")), &DeviceAnswers::deviceInformation,
         std::move(done));
}

void DeviceClient::getNetworkInterfaces(Callback<QList<NetworkInterface>> done)
{
    read(DeviceRequests::plain(QStringLiteral("GetNetworkInterfaces")), &DeviceAnswers::networkInterfaces,
         std::move(done));
}

void DeviceClient::getNetworkDefaultGateway(Callback<NetworkGateway> done)
{
    read(DeviceRequests::plain(QStringLiteral("GetNetworkDefaultGateway")), &DeviceAnswers::networkDefaultGateway,
         std::move(done));
}

void DeviceClient::getDns(Callback<DnsInformation> done)
{
    read(DeviceRequests::plain(QStringLiteral("GetDNS")), &DeviceAnswers::dns, std::move(done));
}

void DeviceClient::getNetworkProtocols(Callback<QList<NetworkProtocol>> done)
{
    read(DeviceRequests::plain(QStringLiteral("GetNetworkProtocols")), &DeviceAnswers::networkProtocols,
         std::move(done));
}

void DeviceClient::getHostname(Callback<HostnameInformation> done)
{
    read(DeviceRequests::plain(QStringLiteral("GetHostname")), &DeviceAnswers::hostname, std::move(done));
}

void DeviceClient::getScopes(Callback<QList<Scope>> done)
{
    read(DeviceRequests::plain(QStringLiteral("GetScopes")), &DeviceAnswers::scopes, std::move(done));
}

void DeviceClient::getUsers(Callback<QList<User>> done)
{
    read(DeviceRequests::plain(QStringLiteral("GetUsers")), &DeviceAnswers::users, std::move(done));
}

void DeviceClient::setNetworkInterfaces(const QString &interfaceToken, const NetworkInterfaceSettings &settings,
                                        Callback<bool> done)
{
    read(DeviceRequests::setNetworkInterfaces(interfaceToken, settings), &DeviceAnswers::rebootNeeded,
         std::move(done));
}

void DeviceClient::setNetworkDefaultGateway(const NetworkGateway &gateway, Callback<NoValue> done)
{
    plain(DeviceRequests::setNetworkDefaultGateway(gateway), std::move(done));
}

void DeviceClient::setDns(const DnsInformation &dns, Callback<NoValue> done)
{
    plain(DeviceRequests::setDns(dns), std::move(done));
}

void DeviceClient::setNetworkProtocols(const QList<NetworkProtocol> &protocols, Callback<NoValue> done)
{
    plain(DeviceRequests::setNetworkProtocols(protocols), std::move(done));
}

void DeviceClient::createUsers(const QList<UserCredentials> &users, Callback<NoValue> done)
{
    plain(DeviceRequests::createUsers(users), std::move(done));
}

void DeviceClient::setUser(const QList<UserCredentials> &users, Callback<NoValue> done)
{
    plain(DeviceRequests::setUser(users), std::move(done));
}

void DeviceClient::systemReboot(Callback<QString> done)
{
    read(DeviceRequests::plain(QStringLiteral("SystemReboot")), &DeviceAnswers::rebootMessage, std::move(done));
}

void DeviceClient::cancelAll()
{
    const auto exchanges = m_exchanges;
    for (const auto &[id, exchange] : exchanges) {
        exchange->cancelled = true;
        if (exchange->post)
            exchange->post->abort();  // finished() follows at once and calls back
        else if (exchange->reply)
            exchange->reply->abort();
    }
}

void DeviceClient::syncClock(ClockWaiter done)
{
    m_waitingForClock.append(std::move(done));
    if (m_clockSyncing)
        return;
    m_clockSyncing = true;
    const QDateTime sent = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
    call(DeviceRequests::plain(QStringLiteral("GetSystemDateAndTime")), false,
         [this, sent](const Error &error, const SoapEnvelope *answer) {
             m_clockSyncing = false;
             Error outcome = error;
             SystemDateTime time;
             if (error.isOk() && !DeviceAnswers::systemDateAndTime(*answer, &time))
                 outcome = Error::make(ErrorKind::BadAnswer, QStringLiteral("not the expected answer"));
             if (outcome.isOk() && time.utc.isValid()) {
                 const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
                 // The device read its clock about halfway through the exchange.
                 const QDateTime middle = sent.addMSecs(sent.msecsTo(now) / 2);
                 m_clockOffsetMs = middle.msecsTo(time.utc);
                 m_clockKnown = true;
                 qCDebug(lcOnvif) << "device clock" << m_url.host() << "offset" << m_clockOffsetMs << "ms";
             } else if (outcome.kind != ErrorKind::Unreachable && outcome.kind != ErrorKind::Timeout
                        && outcome.kind != ErrorKind::Cancelled && outcome.kind != ErrorKind::CertificateChanged) {
                 // The device answers, but not with its time (some want
                 // credentials even for this): sign with the local clock.
                 m_clockOffsetMs = 0;
                 m_clockKnown = true;
             }
             const auto waiting = std::move(m_waitingForClock);
             m_waitingForClock.clear();
             for (const auto &w : waiting)
                 w(outcome, time);
         });
}

void DeviceClient::call(const DeviceRequest &request, bool authenticate, Finish finish)
{
    if (!request.isValid()) {
        qCDebug(lcOnvif) << request.operation << "not sent:" << request.invalidArgument;
        postError(std::move(finish), Error::make(ErrorKind::InvalidArgument, request.invalidArgument));
        return;
    }
    authenticate = authenticate && hasCredentials();
    if (authenticate && !m_clockKnown && !m_useDigest) {
        QPointer<DeviceClient> self(this);
        syncClock([self, request, finish](const Error &error, const SystemDateTime &) {
            if (!self)
                return;
            // A device that could not be reached for its time fails the call
            // the same way; one that answered otherwise is tried anyway.
            if (!self->m_clockKnown)
                finish(error, nullptr);
            else
                self->call(request, true, finish);
        });
        return;
    }
    auto exchange = std::make_shared<Exchange>();
    exchange->id = m_nextId++;
    exchange->request = request;
    exchange->authenticate = authenticate;
    exchange->finish = std::move(finish);
    m_exchanges.emplace(exchange->id, exchange);
    send(exchange);
}

void DeviceClient::send(const std::shared_ptr<Exchange> &exchange)
{
    const DeviceRequest &request = exchange->request;
    QNetworkRequest http(m_url);
    http.setHeader(QNetworkRequest::ContentTypeHeader,
                   QStringLiteral("application/soap+xml; charset=utf-8; action=\"%1\"").arg(request.action()));
    http.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    http.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    http.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    http.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    http.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    http.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    const bool secure = m_url.scheme() == QLatin1String("https");
    if (secure) {
        // Trust comes from the pinned fingerprint (checked on encrypted()),
        // not from authorities a device's own certificate never names.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        http.setSslConfiguration(tls);
    }

    exchange->sentToken = false;
    exchange->sentDigest = false;
    ElementWriter header;
    if (exchange->authenticate && m_useDigest) {
        const QByteArray path = m_url.path(QUrl::FullyEncoded).isEmpty() ? QByteArray("/")
                                                                         : m_url.path(QUrl::FullyEncoded).toLatin1();
        const QByteArray uri = m_url.hasQuery() ? path + '?' + m_url.query(QUrl::FullyEncoded).toLatin1() : path;
        http.setRawHeader("Authorization", HttpDigest::authorization(m_challenge, m_username, m_password, "POST", uri,
                                                                     HttpDigest::makeClientNonce(), ++m_nonceCount));
        exchange->sentDigest = true;
    } else if (exchange->authenticate) {
        const UsernameToken token(m_username, m_password, deviceNow());
        header = [token](QXmlStreamWriter &w) { token.write(w); };
        exchange->sentToken = true;
    }
    const QByteArray body = SoapEnvelope::write(header, request.body);

    const quint64 id = exchange->id;
    QPointer<DeviceClient> self(this);
    std::function<void()> abort;
    if (m_url.scheme() == QLatin1String("http")) {
        QList<QPair<QByteArray, QByteArray>> headers{{"Content-Type", http.rawHeader("Content-Type")}};
        if (http.hasRawHeader("Authorization"))
            headers.append({"Authorization", http.rawHeader("Authorization")});
        HttpAnswerReader::Limits limits;
        limits.maxHeadBytes = kMaxHeadBytes;
        limits.maxHeadFields = kMaxHeadFields;
        limits.maxBody = m_answerLimit;
        auto *post = new HttpPost(m_url, headers, body, limits, this);
        exchange->post = post;
        connect(post, &HttpPost::finished, this, [this, id] { finished(id); });
        QPointer<HttpPost> watched(post);
        abort = [watched] {
            if (watched)
                watched->abort();
        };
    } else {
        QNetworkReply *reply = m_network->post(http, body);
        exchange->reply = reply;
        exchange->received.clear();
        // Qt's worker reads ahead of us; kept small, and every piece counted
        // as it comes, so a fast endless body is cut near the limit.
        reply->setReadBufferSize(kReplyBuffer);
        const qsizetype limit = m_answerLimit;
        auto count = [this, id, limit](qint64 total) {
            const auto it = m_exchanges.find(id);
            if (it == m_exchanges.end() || !it->second->reply)
                return;
            const std::shared_ptr<Exchange> &e = it->second;
            e->received += e->reply->readAll();
            if (e->received.size() > limit || total > limit) {
                e->tooLarge = true;
                e->received.clear();
                e->reply->abort();
            }
        };
        connect(reply, &QNetworkReply::readyRead, this, [count] { count(0); });
        connect(reply, &QNetworkReply::downloadProgress, this, [count](qint64, qint64 total) { count(total); });
        connect(reply, &QNetworkReply::finished, this, [this, id] { finished(id); });
        if (secure) {
            // Emitted after the handshake, before the request is written: a
            // refusal here sends nothing, credentials least of all.
            connect(reply, &QNetworkReply::encrypted, this, [this, id] {
                const auto it = m_exchanges.find(id);
                if (it == m_exchanges.end() || !it->second->reply)
                    return;
                const QSslCertificate certificate = it->second->reply->sslConfiguration().peerCertificate();
                m_peerFingerprint = certificate.isNull() ? QByteArray() : certificate.digest(QCryptographicHash::Sha256);
                if (m_peerFingerprint.isEmpty() || (m_certificateCheck && !m_certificateCheck(m_peerFingerprint))) {
                    it->second->certificateRefused = true;
                    it->second->reply->abort();
                }
            });
        }
        QPointer<QNetworkReply> watched(reply);
        abort = [watched] {
            if (watched)
                watched->abort();
        };
    }

    // A hard deadline for the whole try, whatever arrives meanwhile. The
    // exchange's id and this try's transport, not a pointer to the
    // exchange, reach the timer: an expiry after the end finds nothing.
    QPointer<QObject> transport = exchange->post ? static_cast<QObject *>(exchange->post.data())
                                                 : static_cast<QObject *>(exchange->reply.data());
    auto expire = [self, id, transport, abort] {
        if (!self || !transport)
            return;
        const auto it = self->m_exchanges.find(id);
        if (it == self->m_exchanges.end()
            || (static_cast<QObject *>(it->second->post.data()) != transport.data()
                && static_cast<QObject *>(it->second->reply.data()) != transport.data()))
            return;
        it->second->timedOut = true;
        abort();
    };
    if (m_timeoutTimer) {
        m_timeoutTimer(m_timeoutMs, expire);
    } else {
        auto *timer = new QTimer(transport);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, expire);
        timer->start(m_timeoutMs);
    }
}

void DeviceClient::finished(quint64 id)
{
    const auto it = m_exchanges.find(id);
    if (it == m_exchanges.end())
        return;
    const std::shared_ptr<Exchange> exchange = it->second;
    if (!exchange->post && !exchange->reply)
        return;

    auto done = [this, exchange](const Error &error, const SoapEnvelope *answer) {
        m_exchanges.erase(exchange->id);
        if (!error.isOk()) {
            qCDebug(lcOnvif).noquote() << exchange->request.operation << m_url.host() << errorKindName(error.kind)
                                       << error.httpStatus << error.subcodes.join(u'/') << error.reason;
        } else if (exchange->authenticate) {
            m_authMethod = exchange->sentDigest ? AuthMethod::HttpDigest : AuthMethod::UsernameToken;
        }
        exchange->finish(error, answer);
    };

    // What the try's transport came to, alike for both.
    int status = 0;
    QByteArray data;
    QByteArray challenge;
    Error failure;
    if (HttpPost *post = exchange->post) {
        exchange->post = nullptr;
        post->deleteLater();
        const HttpAnswerReader &answer = post->answer();
        status = answer.status();
        if (post->transportError() != ErrorKind::None) {
            status = 0;
            failure = Error::make(post->transportError(), post->transportErrorText());
        } else if (answer.state() == HttpAnswerReader::State::Failed) {
            failure = Error::make(ErrorKind::BadAnswer, answer.failure(), status);
        } else if (answer.state() == HttpAnswerReader::State::Complete) {
            data = answer.body();
            challenge = answer.header("WWW-Authenticate");
        }
    } else {
        QNetworkReply *reply = exchange->reply;
        reply->deleteLater();
        exchange->reply = nullptr;
        status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        data = exchange->received + reply->readAll();
        exchange->received.clear();
        challenge = reply->rawHeader("WWW-Authenticate");
        // A connection closed before the promised length is no answer,
        // even when what came is a whole envelope.
        const QVariant promised = reply->header(QNetworkRequest::ContentLengthHeader);
        if (status == 0)
            failure = Error::make(transportKind(reply->error()), reply->errorString());
        else if ((promised.isValid() && promised.toLongLong() > data.size())
                 || reply->error() == QNetworkReply::RemoteHostClosedError)
            failure = Error::make(ErrorKind::BadAnswer, QStringLiteral("answer cut short"), status);
        else if (data.size() > m_answerLimit)
            failure = Error::make(ErrorKind::BadAnswer, QStringLiteral("answer too large"), status);
    }

    if (exchange->cancelled) {
        done(Error::make(ErrorKind::Cancelled, QStringLiteral("cancelled")), nullptr);
        return;
    }
    if (exchange->certificateRefused) {
        done(Error::make(ErrorKind::CertificateChanged, QStringLiteral("certificate not the trusted one")), nullptr);
        return;
    }
    if (exchange->timedOut) {
        done(Error::make(ErrorKind::Timeout, QStringLiteral("no answer in time")), nullptr);
        return;
    }
    if (exchange->tooLarge) {
        done(Error::make(ErrorKind::BadAnswer, QStringLiteral("answer too large"), status), nullptr);
        return;
    }
    if (!failure.isOk()) {
        done(failure, nullptr);
        return;
    }
    XmlLimits limits;
    limits.maxBytes = m_answerLimit;
    const SoapEnvelope envelope = SoapEnvelope::read(data, limits);

    if (status == 401) {
        // The status is authoritative, whatever the body says.
        if (exchange->authenticate) {
            const QList<HttpDigest::Challenge> challenges = HttpDigest::parse(challenge);
            // A first challenge, or a stale nonce: answer it (once each).
            if (!challenges.isEmpty() && (exchange->digestAttempts == 0 || challenges.constFirst().stale)
                && exchange->digestAttempts < 3) {
                ++exchange->digestAttempts;
                // Calls in flight together may all be challenged with the
                // same nonce: its count keeps rising, never starts over.
                if (!m_useDigest || challenges.constFirst().nonce != m_challenge.nonce)
                    m_nonceCount = 0;
                m_challenge = challenges.constFirst();
                m_useDigest = true;
                send(exchange);
                return;
            }
        }
        Error error = envelope.isFault() ? envelope.error() : Error();
        error.kind = ErrorKind::NotAuthorized;
        error.httpStatus = status;
        if (error.reason.isEmpty())
            error.reason = QStringLiteral("HTTP 401");
        done(error, nullptr);
        return;
    }
    if (status >= 300 && status < 400) {
        done(Error::make(ErrorKind::BadAnswer, QStringLiteral("redirected"), status), nullptr);
        return;
    }
    if (!envelope.isValid()) {
        Error error = envelope.error();
        error.httpStatus = status;
        done(error, nullptr);
        return;
    }
    if (envelope.isFault()) {
        Error error = envelope.error();
        error.httpStatus = status;
        if (error.kind == ErrorKind::NotAuthorized && exchange->sentToken && !exchange->resynced) {
            // The clock may have moved since it was read (a device that
            // synchronised in between): read it again, and send once more
            // only if that changed anything.
            exchange->resynced = true;
            const qint64 before = m_clockOffsetMs;
            m_clockKnown = false;
            m_exchanges.erase(exchange->id);
            QPointer<DeviceClient> self(this);
            syncClock([self, exchange, before, error](const Error &syncError, const SystemDateTime &) {
                if (!self)
                    return;
                if (syncError.isOk() && qAbs(self->m_clockOffsetMs - before) > kClockSlackMs) {
                    self->m_exchanges.emplace(exchange->id, exchange);
                    self->send(exchange);
                } else {
                    exchange->finish(error, nullptr);
                }
            });
            return;
        }
        done(error, nullptr);
        return;
    }
    if (status != 200) {
        done(Error::make(ErrorKind::BadAnswer, QStringLiteral("HTTP %1 without a fault").arg(status), status), nullptr);
        return;
    }
    Error ok;
    ok.httpStatus = status;
    done(ok, &envelope);
}

} // namespace Onvif
