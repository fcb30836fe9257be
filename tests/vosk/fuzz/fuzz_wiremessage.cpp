// libFuzzer entry: every datagram a device or the library may receive goes
// through WireMessage::decode, every sealed box's content through
// SealedPayload::decode. Besides memory and UB errors (the sanitizers), a
// message that decodes must encode again and decode to the same message.

#include "vosk/sealedpayload.h"
#include "vosk/wiremessage.h"

#include <cstdint>
#include <cstdlib>

using namespace VoskNet;

namespace {

// The fields a message of its type carries.
bool sameMessage(const WireMessage &a, const WireMessage &b)
{
    if (a.type != b.type || a.id != b.id || a.re != b.re)
        return false;
    switch (a.type) {
    case MessageType::Inquiry:
        return true;
    case MessageType::Report:
        return a.event == b.event && a.boot == b.boot && a.seq == b.seq && a.publicKey == b.publicKey
            && a.record == b.record;
    case MessageType::Request:
        return a.op == b.op && a.targetSerial == b.targetSerial && a.targetMac == b.targetMac
            && a.sealed == b.sealed && a.keyCommand == b.keyCommand;
    case MessageType::Response:
        return a.status == b.status && a.nonce == b.nonce && a.key == b.key && a.retryAfter == b.retryAfter;
    }
    return false;
}

bool samePayload(const SealedPayload &a, const SealedPayload &b)
{
    return a.id == b.id && a.op == b.op && a.targetSerial == b.targetSerial && a.targetMac == b.targetMac
        && a.nonce == b.nonce && a.password == b.password && a.newPassword == b.newPassword
        && a.answer == b.answer && a.securityCode == b.securityCode && a.resetCameras == b.resetCameras
        && a.hasNetParams == b.hasNetParams && (!a.hasNetParams || a.netParams == b.netParams);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No copy: an overread of the fuzzer's buffer is caught by ASan.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto message = WireMessage::decode(bytes)) {
        const auto twice = WireMessage::decode(message->encode());
        if (!twice || !sameMessage(*message, *twice))
            std::abort();
    }
    if (const auto payload = SealedPayload::decode(bytes)) {
        const QByteArray again = payload->encode();
        const auto twice = SealedPayload::decode(again);
        if (!twice || !samePayload(*twice, *payload))
            std::abort();
    }
    return 0;
}
