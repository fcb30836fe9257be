#include "onvif/error.h"

namespace Onvif {

QString errorKindName(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::None: return QStringLiteral("None");
    case ErrorKind::NotAuthorized: return QStringLiteral("NotAuthorized");
    case ErrorKind::InvalidArgument: return QStringLiteral("InvalidArgument");
    case ErrorKind::NotSupported: return QStringLiteral("NotSupported");
    case ErrorKind::SenderFault: return QStringLiteral("SenderFault");
    case ErrorKind::ReceiverFault: return QStringLiteral("ReceiverFault");
    case ErrorKind::Unreachable: return QStringLiteral("Unreachable");
    case ErrorKind::Timeout: return QStringLiteral("Timeout");
    case ErrorKind::BadAnswer: return QStringLiteral("BadAnswer");
    case ErrorKind::Cancelled: return QStringLiteral("Cancelled");
    case ErrorKind::CertificateChanged: return QStringLiteral("CertificateChanged");
    }
    return QStringLiteral("Unknown");
}

} // namespace Onvif
