#pragma once

// The namespace URIs the library reads and writes. Elements are matched by
// these URIs and their local names, never by the prefix a device chose.

#include <QStringView>

namespace Onvif::Ns {

inline constexpr QStringView Soap = u"http://www.w3.org/2003/05/soap-envelope";
inline constexpr QStringView Device = u"http://www.onvif.org/ver10/device/wsdl";
inline constexpr QStringView Schema = u"http://www.onvif.org/ver10/schema";
inline constexpr QStringView Error = u"http://www.onvif.org/ver10/error";
inline constexpr QStringView Network = u"http://www.onvif.org/ver10/network/wsdl";
// WS-Discovery 2005/04 with WS-Addressing 2004/08, the pair ONVIF uses.
inline constexpr QStringView Discovery = u"http://schemas.xmlsoap.org/ws/2005/04/discovery";
inline constexpr QStringView Addressing = u"http://schemas.xmlsoap.org/ws/2004/08/addressing";
inline constexpr QStringView Security =
    u"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
inline constexpr QStringView SecurityUtility =
    u"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
inline constexpr QStringView PasswordDigest =
    u"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest";
inline constexpr QStringView Base64Binary =
    u"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-soap-message-security-1.0#Base64Binary";

} // namespace Onvif::Ns
