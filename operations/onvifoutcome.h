#pragma once

#include "onvif/error.h"
#include "operations/deviceoperations.h"

namespace VoskTool {

// The code an ONVIF failure carries in an OperationOutcome (shown in the
// words that carry a code, "Error3007:time out"): 3000 plus the
// Onvif::ErrorKind, apart from our library's 2000s.
inline constexpr int kOnvifCodeBase = 3000;
// With Unsupported: a device in factory state that refuses the standard's
// activation and needs its maker's own tool.
inline constexpr int kOnvifMakersActivationCode = 3100;
// With NotApplied: the device answered a change with success and still
// reports its old values.
inline constexpr int kOnvifNotAppliedCode = 3101;

// An ONVIF call's error as an outcome every kind of device shares:
// NotAuthorized -> Denied, Timeout and Unreachable -> TimedOut,
// NotSupported -> Unsupported, Cancelled -> Cancelled, anything else
// Failed. Done for no error. A fault the device sent (InvalidArgument,
// NotSupported, Sender and Receiver faults) carries its Reason text in
// `detail`, through deviceText(). Any thread.
OperationOutcome onvifOutcome(const Onvif::Error &error);

} // namespace VoskTool
