#pragma once

// Readers for the answers of the device management service. Each takes an
// envelope that SoapEnvelope::read accepted without a fault and returns
// false (with nothing written to out) unless its Body holds the expected
// tds:<Operation>Response. Inside the answer the readers are lenient as
// devices in the field require: unknown and vendor elements are skipped,
// values are trimmed, absent optional parts stay empty. Any thread.

#include "onvif/devicetypes.h"

namespace Onvif {

class SoapEnvelope;

namespace DeviceAnswers {

bool systemDateAndTime(const SoapEnvelope &envelope, SystemDateTime *out);
bool deviceInformation(const SoapEnvelope &envelope, DeviceInformation *out);
bool networkInterfaces(const SoapEnvelope &envelope, QList<NetworkInterface> *out);
bool networkDefaultGateway(const SoapEnvelope &envelope, NetworkGateway *out);
bool dns(const SoapEnvelope &envelope, DnsInformation *out);
bool networkProtocols(const SoapEnvelope &envelope, QList<NetworkProtocol> *out);
bool hostname(const SoapEnvelope &envelope, HostnameInformation *out);
bool scopes(const SoapEnvelope &envelope, QList<Scope> *out);
bool users(const SoapEnvelope &envelope, QList<User> *out);
// SetNetworkInterfaces: whether the device needs a reboot to apply (false
// when the answer leaves RebootNeeded out).
bool rebootNeeded(const SoapEnvelope &envelope, bool *out);
// SystemReboot: the device's free-text message ("Rebooting in 90 seconds").
bool rebootMessage(const SoapEnvelope &envelope, QString *out);
// Answers without content (SetNetworkDefaultGateway, SetDNS, ...): true
// when the Body holds tds:<operation>Response.
bool empty(const SoapEnvelope &envelope, const QString &operation);

// "00047D0EB85C", "00-04-7D-0E-B8-5C", "00:04:7d:0e:b8:5c" ->
// "00:04:7d:0e:b8:5c"; empty for anything that is not six bytes.
QString normalizeMac(const QString &text);

} // namespace DeviceAnswers

} // namespace Onvif
