#pragma once

#include <QLoggingCategory>

namespace Onvif {

// "vosktool.onvif": discovery and device-management traffic. Lines carry
// addresses, operations and error kinds only: never a user name's
// password, a nonce, a digest or a whole message body.
Q_DECLARE_LOGGING_CATEGORY(lcOnvif)

} // namespace Onvif
