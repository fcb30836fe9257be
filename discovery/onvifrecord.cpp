#include "discovery/onvifrecord.h"

#include "discovery/recordfields.h"

#include <QCryptographicHash>

#include <cstring>

namespace VOSK {

namespace {
constexpr int EndpointHashSize = 20;
constexpr int GroupOffset = 4;
static_assert(sizeof(VOSK_DEVICE_INFO::reserved438) >= EndpointHashSize, "the endpoint hash must fit");
static_assert(sizeof(VOSK_DEVICE_INFO::reserved460) >= GroupOffset + EndpointHashSize, "the group hash must fit");
} // namespace

bool isOnvifRecord(const VOSK_DEVICE_INFO &record)
{
    return fieldBytes(record.leadingText) == QByteArray(OnvifLeadingText);
}

QString onvifEndpointId(const QString &endpointReference)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(endpointReference.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString onvifEndpointId(const VOSK_DEVICE_INFO &record)
{
    if (!isOnvifRecord(record))
        return QString();
    const QByteArray hash(reinterpret_cast<const char *>(record.reserved438), EndpointHashSize);
    return QString::fromLatin1(hash.toHex());
}

quint8 onvifFlags(const VOSK_DEVICE_INFO &record)
{
    return record.reserved460[0];
}

void setOnvifFlags(VOSK_DEVICE_INFO &record, quint8 flags)
{
    record.reserved460[0] = flags;
}

VOSK_DEVICE_INFO makeOnvifRecord(const QString &endpointReference, const QString &origin)
{
    VOSK_DEVICE_INFO record;
    std::memset(&record, 0, sizeof record);
    setFieldBytes(record.leadingText, QByteArray(OnvifLeadingText));
    const QByteArray group = QCryptographicHash::hash(endpointReference.toUtf8(), QCryptographicHash::Sha1);
    // A line break cannot occur in an endpoint reference's URI: the two
    // parts cannot be confused with another reference.
    const QByteArray key = origin.isEmpty()
        ? group
        : QCryptographicHash::hash((endpointReference + QLatin1Char('\n') + origin).toUtf8(), QCryptographicHash::Sha1);
    std::memcpy(record.reserved438, key.constData(), EndpointHashSize);
    std::memcpy(record.reserved460 + GroupOffset, group.constData(), EndpointHashSize);
    return record;
}

QString onvifEndpointGroup(const VOSK_DEVICE_INFO &record)
{
    if (!isOnvifRecord(record))
        return QString();
    const QByteArray hash(reinterpret_cast<const char *>(record.reserved460 + GroupOffset), EndpointHashSize);
    return QString::fromLatin1(hash.toHex());
}

} // namespace VOSK
