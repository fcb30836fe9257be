#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <optional>

namespace VoskTool {

// Trust on first use for ONVIF devices reached over HTTPS. Devices sign
// their own certificates, so no authority vouches for them: the SHA-256
// fingerprint first seen for an endpoint reference is kept in the
// per-user configuration (an INI file the window and the console share)
// and every later handshake must show the same one. A different one is
// refused (the call sends nothing) and remembered as a refusal until the
// user accepts it, which replaces the kept one.
//
// Thread-safe: the operation threads check, the owner's thread asks and
// accepts. The file is read again on every check, so that a fingerprint
// another program (the console beside the window) kept is honoured.
class OnvifCertificates final
{
public:
    // An empty file keeps the fingerprints in memory only.
    explicit OnvifCertificates(const QString &file);

    // VOSK_ONVIF_CERTIFICATES when set (tests, and sites that keep the
    // file elsewhere), else OnvifCertificates.ini among the user's files.
    static QString defaultFile();

    enum class Verdict { FirstUse, Known, Changed };
    // The handshake of `endpoint` showed `sha256`: kept on first use,
    // refused (Changed, and remembered as the endpoint's refusal) when
    // another one is kept and the user has not accepted this one.
    Verdict check(const QString &endpoint, const QByteArray &sha256);
    QByteArray pinned(const QString &endpoint) const;
    // Keeps `sha256` for the endpoint in place of what was kept; its
    // refusal is forgotten.
    void accept(const QString &endpoint, const QByteArray &sha256);
    // Accepts, when it is presented next, whatever new certificate the
    // endpoint shows (an endpoint reference), or the certificate of this
    // fingerprint (hex, colons allowed) for whichever endpoint shows it.
    // The console's --accept-certificate.
    void acceptWhenSeen(const QString &endpointOrFingerprint);

    struct Refusal
    {
        QString endpoint;
        QByteArray pinned;
        QByteArray presented;
    };
    // The refusals since start (or since the endpoint's certificate was
    // accepted), in the order they happened; each endpoint once.
    QList<Refusal> refusals() const;
    std::optional<Refusal> refusal(const QString &endpoint) const;

    // "AB:CD:...", the way certificate viewers show a fingerprint.
    static QString fingerprintText(const QByteArray &sha256);
    // A fingerprint typed by a user (hex, colons and spaces allowed);
    // empty when it is not 32 bytes of hex.
    static QByteArray parseFingerprint(const QString &text);

private:
    QByteArray pinnedLocked(const QString &endpoint) const;
    void storeLocked(const QString &endpoint, const QByteArray &sha256);

    const QString m_file;
    mutable QMutex m_mutex;
    QHash<QString, QByteArray> m_memory; // what this run kept (all of it without a file)
    QList<Refusal> m_refusals;
    QStringList m_acceptEndpoints;
    QList<QByteArray> m_acceptFingerprints;
};

} // namespace VoskTool
