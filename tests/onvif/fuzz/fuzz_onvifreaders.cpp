// libFuzzer entry: every answer a device may send and every datagram
// discovery may hear goes through the envelope reader, each operation's
// reader and the discovery reader. Besides memory and UB errors (the
// sanitizers), what the readers accept must hold together: a fault is no
// answer, a discovery message that is not a Probe names an endpoint.

#include "onvif/deviceanswers.h"
#include "onvif/discoverymessage.h"
#include "onvif/soapenvelope.h"

#include <cstdint>
#include <cstdlib>

using namespace Onvif;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No copy: an overread of the fuzzer's buffer is caught by ASan.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const SoapEnvelope envelope = SoapEnvelope::read(bytes);
    SystemDateTime time;
    DeviceInformation info;
    QList<NetworkInterface> interfaces;
    NetworkGateway gateway;
    DnsInformation dns;
    QList<NetworkProtocol> protocols;
    HostnameInformation hostname;
    QList<Scope> scopes;
    QList<User> users;
    bool reboot = false;
    QString message;
    int read = 0;
    read += DeviceAnswers::systemDateAndTime(envelope, &time);
    read += DeviceAnswers::deviceInformation(envelope, &info);
    read += DeviceAnswers::networkInterfaces(envelope, &interfaces);
    read += DeviceAnswers::networkDefaultGateway(envelope, &gateway);
    read += DeviceAnswers::dns(envelope, &dns);
    read += DeviceAnswers::networkProtocols(envelope, &protocols);
    read += DeviceAnswers::hostname(envelope, &hostname);
    read += DeviceAnswers::scopes(envelope, &scopes);
    read += DeviceAnswers::users(envelope, &users);
    read += DeviceAnswers::rebootNeeded(envelope, &reboot);
    read += DeviceAnswers::rebootMessage(envelope, &message);
    // One answer is one operation's, never a fault's.
    const bool any = read > 0;
    if (read > 1)
        std::abort();
    if (any && (envelope.isFault() || !envelope.isValid()))
        std::abort();
    for (const NetworkInterface &i : interfaces) {
        if (!i.hwAddress.isEmpty() && i.hwAddress.size() != 17)
            std::abort();
    }
    (void)httpPort(protocols);

    DiscoveryMessage discovery;
    if (DiscoveryMessages::parse(bytes, &discovery)) {
        for (const DiscoveryTarget &t : discovery.targets) {
            if (discovery.kind != DiscoveryMessage::Kind::Probe && t.endpoint.isEmpty())
                std::abort();
        }
        if (discovery.kind != DiscoveryMessage::Kind::Probe && discovery.targets.isEmpty())
            std::abort();
    }
    return 0;
}
