#include "operations/onvifcertificates.h"

#include "aptui/targetpath.h"
#include "operations/operationslog.h"

#include <QMutexLocker>
#include <QSettings>
#include <QUrl>

namespace VoskTool {

namespace {

const QString kGroup = QStringLiteral("Certificates");

// Endpoint references are URNs or URLs: '/' would split an INI key into
// groups, so the key is the percent-encoded reference.
QString keyOf(const QString &endpoint)
{
    return kGroup + QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(endpoint));
}

} // namespace

OnvifCertificates::OnvifCertificates(const QString &file)
    : m_file(file)
{
}

QString OnvifCertificates::defaultFile()
{
    const QString file = qEnvironmentVariable("VOSK_ONVIF_CERTIFICATES");
    return file.isEmpty() ? TarnGUIToolkit::GetUserFilePath(QStringLiteral("OnvifCertificates.ini")) : file;
}

QByteArray OnvifCertificates::pinnedLocked(const QString &endpoint) const
{
    if (!m_file.isEmpty()) {
        const QSettings settings(m_file, QSettings::IniFormat);
        const QByteArray kept = parseFingerprint(settings.value(keyOf(endpoint)).toString());
        if (!kept.isEmpty())
            return kept;
    }
    // Also when the file could not be written: a certificate trusted in
    // this run is not trusted anew, whatever a later handshake shows.
    return m_memory.value(endpoint);
}

void OnvifCertificates::storeLocked(const QString &endpoint, const QByteArray &sha256)
{
    m_memory.insert(endpoint, sha256);
    if (m_file.isEmpty())
        return;
    QSettings settings(m_file, QSettings::IniFormat);
    settings.setValue(keyOf(endpoint), fingerprintText(sha256));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qCWarning(lcOperations) << "cannot keep an ONVIF certificate's fingerprint in" << m_file;
}

OnvifCertificates::Verdict OnvifCertificates::check(const QString &endpoint, const QByteArray &sha256)
{
    QMutexLocker locker(&m_mutex);
    const QByteArray kept = pinnedLocked(endpoint);
    if (kept == sha256)
        return Verdict::Known;
    const bool accepted = m_acceptEndpoints.contains(endpoint) || m_acceptFingerprints.contains(sha256);
    if (kept.isEmpty() || accepted) {
        storeLocked(endpoint, sha256);
        m_acceptEndpoints.removeAll(endpoint);
        m_refusals.removeIf([&endpoint](const Refusal &r) { return r.endpoint == endpoint; });
        qCInfo(lcOperations).noquote() << "ONVIF certificate" << fingerprintText(sha256) << "now trusted for"
                                       << endpoint;
        return kept.isEmpty() ? Verdict::FirstUse : Verdict::Known;
    }
    m_refusals.removeIf([&endpoint](const Refusal &r) { return r.endpoint == endpoint; });
    m_refusals.append({endpoint, kept, sha256});
    qCInfo(lcOperations).noquote() << "ONVIF certificate of" << endpoint << "changed from" << fingerprintText(kept)
                                   << "to" << fingerprintText(sha256) << ": refused";
    return Verdict::Changed;
}

QByteArray OnvifCertificates::pinned(const QString &endpoint) const
{
    QMutexLocker locker(&m_mutex);
    return pinnedLocked(endpoint);
}

void OnvifCertificates::accept(const QString &endpoint, const QByteArray &sha256)
{
    QMutexLocker locker(&m_mutex);
    storeLocked(endpoint, sha256);
    m_refusals.removeIf([&endpoint](const Refusal &r) { return r.endpoint == endpoint; });
}

void OnvifCertificates::acceptWhenSeen(const QString &endpointOrFingerprint)
{
    QMutexLocker locker(&m_mutex);
    const QByteArray fingerprint = parseFingerprint(endpointOrFingerprint);
    if (!fingerprint.isEmpty())
        m_acceptFingerprints.append(fingerprint);
    else
        m_acceptEndpoints.append(endpointOrFingerprint);
}

QList<OnvifCertificates::Refusal> OnvifCertificates::refusals() const
{
    QMutexLocker locker(&m_mutex);
    return m_refusals;
}

std::optional<OnvifCertificates::Refusal> OnvifCertificates::refusal(const QString &endpoint) const
{
    QMutexLocker locker(&m_mutex);
    for (const Refusal &r : m_refusals) {
        if (r.endpoint == endpoint)
            return r;
    }
    return std::nullopt;
}

QString OnvifCertificates::fingerprintText(const QByteArray &sha256)
{
    return QString::fromLatin1(sha256.toHex(':').toUpper());
}

QByteArray OnvifCertificates::parseFingerprint(const QString &text)
{
    QString hex = text;
    hex.remove(QLatin1Char(':')).remove(QLatin1Char(' '));
    if (hex.size() != 64)
        return QByteArray();
    for (const QChar c : hex) {
        if (!c.isDigit() && !(c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
            return QByteArray();
    }
    return QByteArray::fromHex(hex.toLatin1());
}

} // namespace VoskTool
