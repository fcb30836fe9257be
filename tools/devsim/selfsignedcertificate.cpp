#include "tools/devsim/selfsignedcertificate.h"

#include <QFile>
#include <QRandomGenerator>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>

namespace VoskSim {

namespace {

template <typename T, void (*Free)(T *)>
struct Deleter
{
    void operator()(T *p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

QByteArray drain(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, int(size));
}

} // namespace

std::optional<SelfSignedCertificate> SelfSignedCertificate::make(const QString &commonName, QString *error)
{
    auto fail = [error](const char *what) {
        if (error)
            *error = QStringLiteral("cannot make the HTTPS certificate: %1").arg(QLatin1String(what));
        return std::nullopt;
    };
    Key key(EVP_EC_gen("P-256"));
    if (!key)
        return fail("no key");
    Certificate x509(X509_new());
    if (!x509 || !X509_set_version(x509.get(), 2))
        return fail("no certificate");
    // A random serial number: two certificates of one name differ anyway.
    ASN1_INTEGER_set_int64(X509_get_serialNumber(x509.get()),
                           qint64(QRandomGenerator::system()->generate64() >> 2));
    X509_gmtime_adj(X509_getm_notBefore(x509.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x509.get()), 10L * 365 * 24 * 3600);
    X509_NAME *name = X509_get_subject_name(x509.get());
    const QByteArray cn = commonName.toUtf8();
    if (!X509_set_pubkey(x509.get(), key.get())
        || !X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>(cn.constData()),
                                       int(cn.size()), -1, 0)
        || !X509_set_issuer_name(x509.get(), name) || !X509_sign(x509.get(), key.get(), EVP_sha256()))
        return fail("signing failed");
    Bio keyPem(BIO_new(BIO_s_mem()));
    Bio certificatePem(BIO_new(BIO_s_mem()));
    if (!keyPem || !certificatePem
        || !PEM_write_bio_PrivateKey(keyPem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr)
        || !PEM_write_bio_X509(certificatePem.get(), x509.get()))
        return fail("cannot write PEM");
    SelfSignedCertificate made;
    made.key = QSslKey(drain(keyPem.get()), QSsl::Ec);
    made.certificate = QSslCertificate(drain(certificatePem.get()));
    if (made.key.isNull() || made.certificate.isNull())
        return fail("Qt cannot read what libcrypto wrote");
    return made;
}

std::optional<SelfSignedCertificate> SelfSignedCertificate::loadOrMake(const QString &path, const QString &commonName,
                                                                       QString *error)
{
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            if (error)
                *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
            return std::nullopt;
        }
        const QByteArray pem = file.readAll();
        SelfSignedCertificate loaded;
        loaded.key = QSslKey(pem, QSsl::Ec);
        loaded.certificate = QSslCertificate(pem);
        if (loaded.key.isNull() || loaded.certificate.isNull()) {
            if (error)
                *error = QStringLiteral("%1 holds no EC key and certificate").arg(path);
            return std::nullopt;
        }
        return loaded;
    }
    std::optional<SelfSignedCertificate> made = make(commonName, error);
    if (!made)
        return std::nullopt;
    if (!file.open(QIODevice::WriteOnly) || file.write(made->key.toPem() + made->certificate.toPem()) < 0) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return made;
}

} // namespace VoskSim
