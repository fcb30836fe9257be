#include "onvif/httppost.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace Onvif {

namespace {

// What one read takes from the socket: the socket's own buffer holds no
// more, so a fast sender is held back by TCP, not by our memory.
constexpr qint64 kReadPiece = 64 * 1024;

QByteArray hostHeader(const QUrl &url)
{
    QHostAddress address(url.host());
    QByteArray host;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        address.setScopeId(QString());  // a zone means nothing to the device
        host = '[' + address.toString().toLatin1() + ']';
    } else {
        host = url.host(QUrl::FullyEncoded).toLatin1();
    }
    if (url.port() > 0 && url.port() != 80)
        host += ':' + QByteArray::number(url.port());
    return host;
}

} // namespace

HttpPost::HttpPost(const QUrl &url, const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &body,
                   const HttpAnswerReader::Limits &limits, QObject *parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this))
    , m_reader(limits)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    m_request = "POST " + target + " HTTP/1.1\r\nHost: " + hostHeader(url) + "\r\n";
    for (const auto &[name, value] : headers)
        m_request += name + ": " + value + "\r\n";
    m_request += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;

    m_socket->setReadBufferSize(kReadPiece);
    connect(m_socket, &QTcpSocket::connected, this, [this] { m_socket->write(m_request); });
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpPost::readSome);
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpPost::peerClosed);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError) {
            peerClosed();
            return;
        }
        readSome();  // whatever came before the failure
        if (m_ended)
            return;
        if (m_received == 0) {
            m_transportError = ErrorKind::Unreachable;
            m_transportErrorText = m_socket->errorString();
        } else {
            m_reader.closed();
        }
        end();
    });

    // Connected from the event loop: a failure at once (no route) is
    // reported from there too, when the caller is listening, never from
    // inside this constructor.
    QMetaObject::invokeMethod(this, [this, url] {
        if (m_ended)
            return;  // aborted first
        const QHostAddress address(url.host());
        const quint16 port = quint16(url.port(80));
        if (address.isNull())
            m_socket->connectToHost(url.host(), port);
        else
            m_socket->connectToHost(address, port);
    }, Qt::QueuedConnection);
}

HttpPost::~HttpPost()
{
    m_ended = true;
    m_socket->disconnect(this);
    m_socket->abort();
}

void HttpPost::abort()
{
    if (m_ended)
        return;
    end();
}

void HttpPost::readSome()
{
    // A bounded number of pieces per call: a sender faster than we read
    // cannot keep us here; the rest comes with the next readyRead.
    for (int i = 0; i < 4 && !m_ended && m_socket->bytesAvailable() > 0; ++i)
        takePiece();
    if (!m_ended && m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &HttpPost::readSome, Qt::QueuedConnection);
}

void HttpPost::takePiece()
{
    const QByteArray piece = m_socket->read(kReadPiece);
    m_received += piece.size();
    if (m_reader.feed(piece) != HttpAnswerReader::State::NeedMore)
        end();
}

void HttpPost::peerClosed()
{
    if (m_ended)
        return;
    while (!m_ended && m_socket->bytesAvailable() > 0)
        takePiece();
    if (m_ended)
        return;
    if (m_received == 0) {
        m_transportError = ErrorKind::Unreachable;
        m_transportErrorText = QStringLiteral("connection closed before an answer");
    } else {
        m_reader.closed();
    }
    end();
}

void HttpPost::end()
{
    m_ended = true;
    m_socket->disconnect(this);
    m_socket->abort();
    emit finished();
}

} // namespace Onvif
