#pragma once

// The certificate the simulated devices serve HTTPS with: made at start,
// signed by its own key, as real devices make theirs at first boot. Made
// with OpenSSL's libcrypto (Qt can use a certificate, not make one).

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

#include <optional>

namespace VoskSim {

struct SelfSignedCertificate
{
    QSslCertificate certificate;
    QSslKey key;

    // A new P-256 key and a certificate for it, valid from an hour ago
    // for ten years; nothing, with the reason, when libcrypto fails.
    static std::optional<SelfSignedCertificate> make(const QString &commonName, QString *error);
    // The key and certificate of `path` (PEM, key first); when the file
    // does not exist, a new pair written there. A fleet started twice with
    // the same file shows the same certificate, with another file another
    // one: how tests present a changed certificate.
    static std::optional<SelfSignedCertificate> loadOrMake(const QString &path, const QString &commonName,
                                                           QString *error);
};

} // namespace VoskSim
