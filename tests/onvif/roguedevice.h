#pragma once

// A hostile device management service on loopback: takes a request and
// answers without end in the way chosen, as fast as the client reads,
// until the client closes. It counts the connections taken and those the
// client closed, so a test (or a benchmark) sees that each exchange ended.

#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace TestSupport {

class RogueDevice final : public QObject
{
public:
    enum class Mode {
        EndlessHeaders,   // "X-Filler-N: ..." lines, never the empty one
        EndlessLine,      // one header line that never ends
        EndlessContinue,  // "100 Continue" interim answers, again and again
        EndlessChunked,   // a chunked body of 64 KiB chunks, never the last
        HugeLength,       // Content-Length of 2 GB, then bytes without end
    };

    int connections = 0;
    int closedByClient = 0;

    explicit RogueDevice(Mode mode, const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0)
        : m_mode(mode)
    {
        m_server.listen(address, port);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                ++connections;
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    s->readAll();
                    if (!s->property("answering").toBool()) {
                        s->setProperty("answering", true);
                        s->write(opening());
                        pour(s);
                    }
                });
                connect(s, &QTcpSocket::bytesWritten, s, [this, s] { pour(s); });
                connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    ++closedByClient;
                    s->deleteLater();
                });
            }
        });
    }

    QUrl url() const
    {
        return QUrl(QStringLiteral("http://%1:%2/onvif/device_service")
                        .arg(m_server.serverAddress().toString())
                        .arg(m_server.serverPort()));
    }

private:
    QByteArray opening() const
    {
        switch (m_mode) {
        case Mode::EndlessHeaders:
            return "HTTP/1.1 200 OK\r\n";
        case Mode::EndlessContinue:
            return "HTTP/1.1 ";
        case Mode::EndlessLine:
            return "HTTP/1.1 200 OK\r\nX-Filler: ";
        case Mode::EndlessChunked:
            return "HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\nTransfer-Encoding: chunked\r\n\r\n";
        case Mode::HugeLength:
            return "HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\nContent-Length: 2147483648\r\n\r\n";
        }
        return QByteArray();
    }

    QByteArray piece()
    {
        QByteArray out;
        switch (m_mode) {
        case Mode::EndlessHeaders:
            for (int i = 0; i < 500; ++i)
                out += "X-Filler-" + QByteArray::number(m_count++) + ": " + QByteArray(100, 'a') + "\r\n";
            return out;
        case Mode::EndlessContinue:
            return QByteArray("100 Continue\r\n\r\nHTTP/1.1 ").repeated(2000);
        case Mode::EndlessLine:
        case Mode::HugeLength:
            return QByteArray(64 * 1024, 'a');
        case Mode::EndlessChunked:
            return "10000\r\n" + QByteArray(64 * 1024, 'a') + "\r\n";
        }
        return out;
    }

    // Keeps the socket's queue topped up, no more: the client's reading
    // pace sets the flow.
    void pour(QTcpSocket *s)
    {
        if (s->state() == QAbstractSocket::ConnectedState && s->property("answering").toBool()
            && s->bytesToWrite() < 256 * 1024)
            s->write(piece());
    }

    Mode m_mode;
    QTcpServer m_server;
    quint64 m_count = 0;
};

} // namespace TestSupport
