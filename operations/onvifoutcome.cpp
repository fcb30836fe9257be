#include "operations/onvifoutcome.h"

#include "operations/operationwords.h"

namespace VoskTool {

OperationOutcome onvifOutcome(const Onvif::Error &error)
{
    const int code = kOnvifCodeBase + int(error.kind);
    switch (error.kind) {
    case Onvif::ErrorKind::None:
        return OperationOutcome::done();
    case Onvif::ErrorKind::NotAuthorized:
        return {OperationStatus::Denied, code};
    case Onvif::ErrorKind::Timeout:
    case Onvif::ErrorKind::Unreachable:
        // Both are a device that did not answer in time, as our library's
        // time-out is: gone, moved, or not listening.
        return {OperationStatus::TimedOut, code};
    case Onvif::ErrorKind::NotSupported: {
        OperationOutcome unsupported{OperationStatus::Unsupported, code};
        unsupported.detail = deviceText(error.reason);
        return unsupported;
    }
    case Onvif::ErrorKind::Cancelled:
        return OperationOutcome::cancelled();
    case Onvif::ErrorKind::InvalidArgument:
    case Onvif::ErrorKind::SenderFault:
    case Onvif::ErrorKind::ReceiverFault:
    case Onvif::ErrorKind::BadAnswer:
    case Onvif::ErrorKind::CertificateChanged:
        break;
    }
    OperationOutcome failed{OperationStatus::Failed, code};
    // Only a fault's reason is the device's own word; a transport or
    // parsing failure's is ours, for logs.
    if (!error.code.isEmpty())
        failed.detail = deviceText(error.reason);
    return failed;
}

} // namespace VoskTool
