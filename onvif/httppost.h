#pragma once

// One HTTP/1.1 POST on a connection of its own (closed after the answer),
// read by HttpAnswerReader within its limits. Unlike QNetworkAccessManager,
// whose worker thread in Qt 6.4 keeps reading an endless header block
// after the reply is aborted (unbounded memory, a core busy, the
// connection never closed), everything here happens on the caller's thread
// and abort() closes the socket at once: a rogue answer costs at most the
// limits and the time-out.
//
// finished() is emitted once: when the answer is whole or failed, when the
// connection fails, or from abort(). Destroying the object aborts without
// it. Lives in its thread; needs its event loop.

#include "onvif/error.h"
#include "onvif/httpanswerreader.h"

#include <QObject>
#include <QUrl>

class QTcpSocket;

namespace Onvif {

class HttpPost final : public QObject
{
    Q_OBJECT

public:
    // headers: besides Host, Content-Length and Connection, which the post
    // writes itself. Connects at once.
    HttpPost(const QUrl &url, const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &body,
             const HttpAnswerReader::Limits &limits, QObject *parent = nullptr);
    ~HttpPost() override;

    // Closes the connection and emits finished() (once; nothing after the
    // end).
    void abort();

    // After finished(): the answer (state Complete), or why there is none.
    const HttpAnswerReader &answer() const { return m_reader; }
    // Unreachable when no answer began (refused, no route, unknown host,
    // closed before a byte); None when the reader decided.
    ErrorKind transportError() const { return m_transportError; }
    QString transportErrorText() const { return m_transportErrorText; }
    // Bytes received, whatever came of them.
    qint64 received() const { return m_received; }

signals:
    void finished();

private:
    void readSome();
    // One piece from the socket into the reader; the answer ends when the
    // reader has all of it or refuses it.
    void takePiece();
    void peerClosed();
    void end();

    QTcpSocket *m_socket;
    QByteArray m_request;
    HttpAnswerReader m_reader;
    ErrorKind m_transportError = ErrorKind::None;
    QString m_transportErrorText;
    qint64 m_received = 0;
    bool m_ended = false;
};

} // namespace Onvif
