#pragma once

// An asynchronous client of one device's management service (SOAP 1.2
// over HTTP at the service address discovery gave, "http://host/onvif/
// device_service"). Each call posts one request and calls back once, on
// the client's thread, from the event loop: never from inside the call.
//
// Authentication: calls that need it carry the credentials set here as a
// WS-Security UsernameToken digest, created on the device's clock: before
// the first such call the client reads the device's time with the
// unauthenticated GetSystemDateAndTime and keeps the offset, so a device
// whose clock is hours off still accepts the token. A device that answers
// 401 with an HTTP Digest challenge (MD5 or SHA-256) gets the request again
// with Digest, and later calls use Digest from the start. A wrong password
// comes back as NotAuthorized, as does a second 401 to a Digest answer.
// Without credentials every call goes out anonymously (a device in
// factory state takes that until its first user exists).
//
// Each HTTP exchange has a hard time-out (setTimeout) that ends it
// whatever keeps arriving; redirects are not followed (BadAnswer); an
// answer whose header block passes 32 KiB or 100 lines, or whose body
// passes the limit (promised or delivered), is cut off at once
// (BadAnswer), its connection closed. http calls go over a connection of
// their own (HttpPost), https ones over the shared manager. Connection
// failures are Unreachable. Destroying the client
// aborts what is in flight without calling back; cancelAll() calls back
// with Cancelled.
//
// Over HTTPS (a service address "https://..."): devices carry certificates
// they signed themselves, so no chain of authorities is asked; the
// certificate check (setCertificateCheck) decides on the certificate's
// SHA-256 fingerprint once the handshake is done and before any byte of
// the request goes out. A refused certificate ends the call with
// CertificateChanged: the request, and the credentials in it, never left.
//
// Credentials live in memory only, in this object; they are never logged.

#include "onvif/devicerequests.h"
#include "onvif/devicetypes.h"
#include "onvif/error.h"
#include "onvif/httpdigest.h"

#include <QObject>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace Onvif {

class SoapEnvelope;

template <typename T>
struct Result
{
    Error error;
    T value{};
    bool ok() const { return error.isOk(); }
};

struct NoValue
{
};

class DeviceClient final : public QObject
{
    Q_OBJECT

public:
    template <typename T>
    using Callback = std::function<void(const Result<T> &result)>;

    enum class AuthMethod { None, UsernameToken, HttpDigest };

    // network is shared by many clients and must outlive them all; see
    // makeNetworkManager(). The client lives in network's thread.
    DeviceClient(const QUrl &serviceAddress, QNetworkAccessManager *network, QObject *parent = nullptr);
    ~DeviceClient() override;

    // A manager fit for device calls on a local network: no proxy (a
    // system proxy would carry LAN calls away), no cache, no cookies.
    static QNetworkAccessManager *makeNetworkManager(QObject *parent = nullptr);

    QUrl serviceAddress() const { return m_url; }
    // For the calls that follow (a device that moved to a new address).
    // The clock offset and the Digest state stay: it is the same device.
    void setServiceAddress(const QUrl &url) { m_url = url; }

    void setCredentials(const QString &username, const QString &password);
    void clearCredentials();
    bool hasCredentials() const { return !m_username.isEmpty(); }

    // Per HTTP exchange, milliseconds; default 5000.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    // Longest answer taken, bytes; default 256 KiB.
    void setAnswerLimit(qsizetype bytes) { m_answerLimit = bytes; }

    // How the last authenticated call that succeeded signed in.
    AuthMethod authMethod() const { return m_authMethod; }
    // Whether the device's clock has been read, and how far it is ahead of
    // the local one (negative: behind).
    bool clockKnown() const { return m_clockKnown; }
    qint64 clockOffsetMs() const { return m_clockOffsetMs; }

    // Called on the client's thread after each TLS handshake with the
    // SHA-256 of the device's certificate; false refuses it. Without a
    // check every certificate is taken (and the fingerprint still kept).
    using CertificateCheck = std::function<bool(const QByteArray &sha256)>;
    void setCertificateCheck(CertificateCheck check) { m_certificateCheck = std::move(check); }
    // The fingerprint of the last certificate a handshake showed; empty
    // before any (and over HTTP).
    QByteArray peerFingerprint() const { return m_peerFingerprint; }

    // Pre-authentication; also sets the clock offset.
    void getSystemDateAndTime(Callback<SystemDateTime> done);
    void getDeviceInformation(Callback<DeviceInformation> done);
    void getNetworkInterfaces(Callback<QList<NetworkInterface>> done);
    void getNetworkDefaultGateway(Callback<NetworkGateway> done);
    void getDns(Callback<DnsInformation> done);
    void getNetworkProtocols(Callback<QList<NetworkProtocol>> done);
    void getHostname(Callback<HostnameInformation> done);
    void getScopes(Callback<QList<Scope>> done);
    void getUsers(Callback<QList<User>> done);
    // The value: whether the device needs SystemReboot to apply the change.
    void setNetworkInterfaces(const QString &interfaceToken, const NetworkInterfaceSettings &settings,
                              Callback<bool> done);
    void setNetworkDefaultGateway(const NetworkGateway &gateway, Callback<NoValue> done);
    void setDns(const DnsInformation &dns, Callback<NoValue> done);
    void setNetworkProtocols(const QList<NetworkProtocol> &protocols, Callback<NoValue> done);
    void createUsers(const QList<UserCredentials> &users, Callback<NoValue> done);
    void setUser(const QList<UserCredentials> &users, Callback<NoValue> done);
    // The value: the device's free-text message.
    void systemReboot(Callback<QString> done);

    // Aborts every call in flight; each calls back with Cancelled.
    void cancelAll();

    // How an exchange's time-out is armed: by default a single-shot timer
    // of the time-out. Tests keep expire and call it when they choose;
    // calling it after the exchange ended does nothing.
    using TimeoutTimer = std::function<void(int milliseconds, std::function<void()> expire)>;
    void setTimeoutTimer(TimeoutTimer timer) { m_timeoutTimer = std::move(timer); }
    // The local clock the offset is applied to: by default the current UTC
    // time. Tests move it.
    using Clock = std::function<QDateTime()>;
    void setClock(Clock clock) { m_clock = std::move(clock); }

private:
    using Finish = std::function<void(const Error &error, const SoapEnvelope *answer)>;
    struct Exchange;

    template <typename T>
    void read(const DeviceRequest &request, bool (*reader)(const SoapEnvelope &, T *), Callback<T> done);
    void plain(const DeviceRequest &request, Callback<NoValue> done);
    void call(const DeviceRequest &request, bool authenticate, Finish finish);
    void send(const std::shared_ptr<Exchange> &exchange);
    void finished(quint64 id);
    using ClockWaiter = std::function<void(const Error &error, const SystemDateTime &time)>;
    // Reads the device's clock (one exchange however many wait) and sets
    // the offset; every waiter hears the outcome.
    void syncClock(ClockWaiter done);
    void postError(Finish finish, const Error &error);
    QDateTime deviceNow() const;

    QNetworkAccessManager *m_network;
    QUrl m_url;
    QString m_username;
    QString m_password;
    int m_timeoutMs = 5000;
    qsizetype m_answerLimit = 256 * 1024;
    AuthMethod m_authMethod = AuthMethod::None;
    bool m_clockKnown = false;
    bool m_clockSyncing = false;
    qint64 m_clockOffsetMs = 0;
    QList<ClockWaiter> m_waitingForClock;
    // After a Digest challenge: answered on every later call, the nonce
    // count rising, until the device sends a new one.
    bool m_useDigest = false;
    HttpDigest::Challenge m_challenge;
    quint32 m_nonceCount = 0;
    quint64 m_nextId = 1;
    std::map<quint64, std::shared_ptr<Exchange>> m_exchanges;
    TimeoutTimer m_timeoutTimer;
    Clock m_clock;
    CertificateCheck m_certificateCheck;
    QByteArray m_peerFingerprint;
};

} // namespace Onvif
