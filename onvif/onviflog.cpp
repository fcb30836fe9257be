#include "onvif/onviflog.h"

namespace Onvif {

Q_LOGGING_CATEGORY(lcOnvif, "vosktool.onvif", QtInfoMsg)

} // namespace Onvif
