#pragma once

// An ONVIF device's row in the store and the table is a VOSK_DEVICE_INFO
// like ours, filled by the ONVIF side (never by the discovery library) and
// marked so:
// - leadingText holds "ONVIF" (the library writes "VOSK1" there in every
//   record it reports, and VOSK::VoskHandler refuses a record that says
//   "ONVIF", so a device of our protocol cannot pose as an ONVIF row);
// - the 20 bytes at the start of reserved438 hold the row's key (DeviceKey's
//   endpointId is their 40 lower-case hex digits): the SHA-1 of the
//   device's WS-Discovery endpoint reference, or, for a second host that
//   announces an endpoint reference already listed, of the reference and
//   that host. The endpoint reference is stable by the standard and may be
//   longer than any text field here.
// - the first byte of reserved460 holds the OnvifRowFlags below.
// - bytes 4..23 of reserved460 hold the SHA-1 of the endpoint reference
//   itself: rows that share it are twins (onvifEndpointGroup()).
// Every other field holds what the device said, or stays zero.
//
// Values only; any thread.

#include "vosk/vosk.h"

#include <QByteArray>
#include <QString>

namespace VOSK {

// The leading text of an ONVIF row.
inline constexpr char OnvifLeadingText[] = "ONVIF";

// What the ONVIF side knows of a row beyond the record's own fields.
enum OnvifRowFlag : quint8 {
    OnvifSignedIn = 0x01,         // the cells were read with credentials
    OnvifSignInRefused = 0x02,    // the last sign-in's credentials were refused
    OnvifMakersActivation = 0x04, // not activated, and the standard's way (CreateUsers) is refused: it needs its maker's own tool
    OnvifIpv6Reported = 0x08,     // the device reported IPv6 settings: the form may offer them
    // A sign-in of the device runs now (one the user asked for, or the
    // read after a change). A passing state: set when the reads start and
    // cleared when they end, shown by the table only; what a file or the
    // console writes of a row is its lasting state, without it.
    OnvifSigningIn = 0x10,
    // Heard at an address other than the one it was signed in at (or the
    // tool moved it to): a move nobody here made. Nothing secret goes to
    // it until the user picks it.
    OnvifElsewhere = 0x20,
    // Its service address names another host than the one that answered
    // discovery (another IP address, or a host name): nothing is sent
    // there until the user confirms it.
    OnvifOtherHost = 0x40,
};
quint8 onvifFlags(const VOSK_DEVICE_INFO &record);
void setOnvifFlags(VOSK_DEVICE_INFO &record, quint8 flags);

// Whether the record is an ONVIF row (its leading text says so).
bool isOnvifRecord(const VOSK_DEVICE_INFO &record);
// The endpoint id of an endpoint reference: 40 lower-case hex digits of
// its SHA-1 over the UTF-8 text as the device sent it.
QString onvifEndpointId(const QString &endpointReference);
// The endpoint id a record carries (empty for a record of ours).
QString onvifEndpointId(const VOSK_DEVICE_INFO &record);
// A zeroed record marked as the ONVIF row of that endpoint reference; with
// `origin`, the row of that reference as announced by that host (a second
// row for the reference, with a key of its own).
VOSK_DEVICE_INFO makeOnvifRecord(const QString &endpointReference, const QString &origin = QString());
// The endpoint id of the reference the row was announced with, whatever
// its key: equal for every row of one endpoint reference. Empty for a
// record of ours.
QString onvifEndpointGroup(const VOSK_DEVICE_INFO &record);

} // namespace VOSK
