#include "vosk/wiremessage.h"

#include "vosk/cborfields.h"
#include "vosk/knownanswers.h"
#include "vosk/recordtext.h"

#include <sodium.h>

namespace VoskNet {

using namespace Cbor;

namespace {

// Record keys (docs/protocol.md, "Record keys").
enum RecordKey : quint64 {
    kSerial = 1, kMac = 2, kIpv4 = 3, kMask = 4, kGateway = 5, kTypeCode = 6, kPort = 7,
    kChannels = 8, kSoftware = 9, kDsp = 10, kStartTime = 11, kDescription = 12, kIpv6 = 13,
    kIpv6Gateway = 14, kPrefix = 15, kCaps = 16, kDhcp = 17, kHttpPort = 18, kInactive = 19,
    kNewReset = 20, kAddressValid = 21
};

// Top-level keys.
enum MessageKey : quint64 {
    kVersion = 0, kType = 1, kId = 2, kRe = 3, kEvent = 4, kBoot = 5, kSeq = 6, kPublicKey = 7,
    kRecord = 8, kOp = 10, kTargetSerial = 11, kTargetMac = 12, kSealed = 13, kKeyCommand = 14,
    kStatus = 20, kNonce = 21, kKey = 22, kRetryAfter = 23, kAnswerWindow = 40, kKnown = 41, kKnownHashes = 42, kSlice = 43,
    kSlices = 44, kKnownPairs = 45, kKnownPairHashes = 46
};

bool readNetField(QCborStreamReader &r, quint64 key, WireRecord &rec, bool &handled)
{
    handled = true;
    switch (key) {
    case kIpv4: return readText(r, 0, TextWidth::ipv4Address, rec.ipv4Address);
    case kMask: return readText(r, 0, TextWidth::ipv4Mask, rec.ipv4Mask);
    case kGateway: return readText(r, 0, TextWidth::ipv4Gateway, rec.ipv4Gateway);
    case kPort: return readUIntAs(r, 65535, rec.port);
    case kIpv6: return readText(r, 0, TextWidth::ipv6Address, rec.ipv6Address);
    case kIpv6Gateway: return readText(r, 0, TextWidth::ipv6Gateway, rec.ipv6Gateway);
    case kPrefix: return readUIntAs(r, 128, rec.ipv6PrefixLength);
    case kDhcp: return readBool(r, rec.dhcpEnabled);
    case kHttpPort: return readUIntAs(r, 65535, rec.httpPort);
    default: handled = false; return true;
    }
}

bool readRecord(QCborStreamReader &r, WireRecord &rec)
{
    const bool ok = readMap(r, [&](quint64 key) {
        bool handled = false;
        if (!readNetField(r, key, rec, handled))
            return false;
        if (handled)
            return true;
        switch (key) {
        case kSerial: return readText(r, 1, TextWidth::serialNumber, rec.serialNumber);
        case kMac: return readText(r, 1, TextWidth::mac, rec.mac);
        case kTypeCode: return readUIntAs(r, 0x7fffffff, rec.deviceTypeCode);
        case kChannels: return readUIntAs(r, 4096, rec.channelCount);
        case kSoftware: return readText(r, 0, TextWidth::softwareVersion, rec.softwareVersion);
        case kDsp: return readText(r, 0, TextWidth::dspVersion, rec.dspVersion);
        case kStartTime: return readText(r, 0, TextWidth::startTime, rec.startTime);
        case kDescription: return readText(r, 0, TextWidth::deviceDescription, rec.deviceDescription);
        case kCaps: return readUIntAs(r, 255, rec.capabilities);
        case kInactive: return readBool(r, rec.notActivated);
        case kNewReset: return readBool(r, rec.newResetType);
        case kAddressValid: return readBool(r, rec.addressInfoValid);
        default: return skip(r);
        }
    });
    return ok && !rec.serialNumber.isEmpty() && !rec.mac.isEmpty();
}

void writeRecord(QCborStreamWriter &w, const WireRecord &rec)
{
    w.startMap(21);
    writeText(w, kSerial, rec.serialNumber);
    writeText(w, kMac, rec.mac);
    writeText(w, kIpv4, rec.ipv4Address);
    writeText(w, kMask, rec.ipv4Mask);
    writeText(w, kGateway, rec.ipv4Gateway);
    writeUInt(w, kTypeCode, rec.deviceTypeCode);
    writeUInt(w, kPort, rec.port);
    writeUInt(w, kChannels, rec.channelCount);
    writeText(w, kSoftware, rec.softwareVersion);
    writeText(w, kDsp, rec.dspVersion);
    writeText(w, kStartTime, rec.startTime);
    writeText(w, kDescription, rec.deviceDescription);
    writeText(w, kIpv6, rec.ipv6Address);
    writeText(w, kIpv6Gateway, rec.ipv6Gateway);
    writeUInt(w, kPrefix, rec.ipv6PrefixLength);
    writeUInt(w, kCaps, rec.capabilities);
    writeUInt(w, kDhcp, rec.dhcpEnabled ? 1 : 0);
    writeUInt(w, kHttpPort, rec.httpPort);
    writeUInt(w, kInactive, rec.notActivated ? 1 : 0);
    writeUInt(w, kNewReset, rec.newResetType ? 1 : 0);
    writeUInt(w, kAddressValid, rec.addressInfoValid ? 1 : 0);
    w.endMap();
}

bool textFits(const QByteArray &text, qsizetype max)
{
    return text.size() <= max && !text.contains('\0');
}

bool recordFits(const WireRecord &r)
{
    return !r.serialNumber.isEmpty() && !r.mac.isEmpty() && textFits(r.serialNumber, TextWidth::serialNumber)
        && textFits(r.mac, TextWidth::mac) && textFits(r.ipv4Address, TextWidth::ipv4Address)
        && textFits(r.ipv4Mask, TextWidth::ipv4Mask) && textFits(r.ipv4Gateway, TextWidth::ipv4Gateway)
        && textFits(r.softwareVersion, TextWidth::softwareVersion) && textFits(r.dspVersion, TextWidth::dspVersion)
        && textFits(r.startTime, TextWidth::startTime) && textFits(r.deviceDescription, TextWidth::deviceDescription)
        && textFits(r.ipv6Address, TextWidth::ipv6Address) && textFits(r.ipv6Gateway, TextWidth::ipv6Gateway)
        && r.ipv6PrefixLength <= 128 && r.deviceTypeCode <= 0x7fffffff && r.channelCount <= 4096;
}

} // namespace

bool WireRecord::operator==(const WireRecord &o) const
{
    return serialNumber == o.serialNumber && mac == o.mac && ipv4Address == o.ipv4Address
        && ipv4Mask == o.ipv4Mask && ipv4Gateway == o.ipv4Gateway && deviceTypeCode == o.deviceTypeCode
        && port == o.port && channelCount == o.channelCount && softwareVersion == o.softwareVersion
        && dspVersion == o.dspVersion && startTime == o.startTime && deviceDescription == o.deviceDescription
        && ipv6Address == o.ipv6Address && ipv6Gateway == o.ipv6Gateway && ipv6PrefixLength == o.ipv6PrefixLength
        && capabilities == o.capabilities && dhcpEnabled == o.dhcpEnabled && httpPort == o.httpPort
        && notActivated == o.notActivated && newResetType == o.newResetType
        && addressInfoValid == o.addressInfoValid;
}

void encodeNetParams(QCborStreamWriter &w, const WireRecord &p)
{
    w.startMap(9);
    writeText(w, kIpv4, p.ipv4Address);
    writeText(w, kMask, p.ipv4Mask);
    writeText(w, kGateway, p.ipv4Gateway);
    writeUInt(w, kPort, p.port);
    writeText(w, kIpv6, p.ipv6Address);
    writeText(w, kIpv6Gateway, p.ipv6Gateway);
    writeUInt(w, kPrefix, p.ipv6PrefixLength);
    writeUInt(w, kDhcp, p.dhcpEnabled ? 1 : 0);
    writeUInt(w, kHttpPort, p.httpPort);
    w.endMap();
}

bool decodeNetParams(QCborStreamReader &r, WireRecord &p)
{
    return readMap(r, [&](quint64 key) {
        bool handled = false;
        if (!readNetField(r, key, p, handled))
            return false;
        return handled ? true : skip(r);
    });
}

bool WireMessage::knownAnswersName(const QByteArray &mac, const QByteArray &serial) const
{
    // A device of an older client's inquiry (the MAC list alone) behaves
    // as it always did: a MAC it shares with a twin silences both.
    if (!knownPairs.isEmpty())
        return KnownAnswers::contains(knownPairs, knownPairHashes, id, KnownAnswers::pairEntry(mac, serial));
    return !known.isEmpty() && KnownAnswers::contains(known, knownHashes, id, mac);
}

QByteArray WireMessage::newId()
{
    QByteArray id(kIdSize, Qt::Uninitialized);
    randombytes_buf(id.data(), size_t(id.size()));
    return id;
}

QByteArray WireMessage::encode() const
{
    if (id.size() != kIdSize || (!re.isEmpty() && re.size() != kIdSize))
        return {};
    QByteArray out;
    QCborStreamWriter w(&out);
    w.startMap();
    writeUInt(w, kVersion, kProtocolVersion);
    writeUInt(w, kType, quint64(type));
    w.append(quint64(kId));
    w.appendByteString(id.constData(), id.size());
    if (!re.isEmpty()) {
        w.append(quint64(kRe));
        w.appendByteString(re.constData(), re.size());
    }
    switch (type) {
    case MessageType::Inquiry:
        if ((answerWindow && (answerWindow < kMinAnswerWindow || answerWindow > kMaxAnswerWindow))
            || known.size() > KnownAnswers::kMaxFilterBytes || known.isEmpty() != (knownHashes == 0)
            || knownHashes > KnownAnswers::kMaxHashes || knownPairs.size() > KnownAnswers::kMaxFilterBytes
            || knownPairs.isEmpty() != (knownPairHashes == 0) || knownPairHashes > KnownAnswers::kMaxHashes
            || slices > KnownAnswers::kMaxSlices
            || (slices && (slices & (slices - 1))) || (slices ? slice >= slices : slice != 0))
            return {};
        if (answerWindow)
            writeUInt(w, kAnswerWindow, answerWindow);
        if (!known.isEmpty()) {
            writeText(w, kKnown, known);
            writeUInt(w, kKnownHashes, knownHashes);
        }
        if (slices) {
            writeUInt(w, kSlice, slice);
            writeUInt(w, kSlices, slices);
        }
        if (!knownPairs.isEmpty()) {
            writeText(w, kKnownPairs, knownPairs);
            writeUInt(w, kKnownPairHashes, knownPairHashes);
        }
        break;
    case MessageType::Report:
        if (boot.size() != kBootSize || publicKey.size() != kPublicKeySize || !recordFits(record))
            return {};
        writeUInt(w, kEvent, quint64(event));
        writeText(w, kBoot, boot);
        writeUInt(w, kSeq, seq);
        writeText(w, kPublicKey, publicKey);
        w.append(quint64(kRecord));
        writeRecord(w, record);
        break;
    case MessageType::Request:
        if (!textFits(targetSerial, TextWidth::serialNumber) || !textFits(targetMac, TextWidth::mac) || sealed.size() > kMaxSealed)
            return {};
        writeUInt(w, kOp, quint64(op));
        if (!targetSerial.isEmpty())
            writeText(w, kTargetSerial, targetSerial);
        if (!targetMac.isEmpty())
            writeText(w, kTargetMac, targetMac);
        if (!sealed.isEmpty())
            writeText(w, kSealed, sealed);
        if (keyCommand)
            writeUInt(w, kKeyCommand, keyCommand);
        break;
    case MessageType::Response:
        if (re.isEmpty() || (!nonce.isEmpty() && nonce.size() != kNonceSize) || key.size() > kMaxKey
            || retryAfter > kMaxRetryAfter)
            return {};
        writeUInt(w, kStatus, status);
        if (!nonce.isEmpty())
            writeText(w, kNonce, nonce);
        if (!key.isEmpty())
            writeText(w, kKey, key);
        if (retryAfter)
            writeUInt(w, kRetryAfter, retryAfter);
        break;
    }
    w.endMap();
    if (out.size() > kMaxDatagram)
        return {};
    return out;
}

std::optional<WireMessage> WireMessage::decode(const QByteArray &datagram)
{
    if (datagram.isEmpty() || datagram.size() > kMaxDatagram)
        return std::nullopt;
    QCborStreamReader r(datagram);
    WireMessage m;
    quint64 version = 0, type = 0, event = 0, op = 0;
    bool hasVersion = false, hasType = false, hasRecord = false, hasEvent = false, hasOp = false,
         hasStatus = false, hasSeq = false, hasSlice = false;
    const bool ok = readMap(r, [&](quint64 key) {
        switch (key) {
        case kVersion: hasVersion = true; return readUInt(r, ~quint64(0), version);
        case kType: hasType = true; return readUInt(r, 255, type);
        case kId: return readBytes(r, kIdSize, kIdSize, m.id);
        case kRe: return readBytes(r, kIdSize, kIdSize, m.re);
        case kEvent: hasEvent = true; return readUInt(r, 3, event);
        case kBoot: return readBytes(r, kBootSize, kBootSize, m.boot);
        case kSeq: hasSeq = true; return readUIntAs(r, 0xffffffffu, m.seq);
        case kPublicKey: return readBytes(r, kPublicKeySize, kPublicKeySize, m.publicKey);
        case kRecord: hasRecord = true; return readRecord(r, m.record);
        case kOp: hasOp = true; return readUInt(r, kMaxOp, op);
        case kTargetSerial: return readText(r, 1, TextWidth::serialNumber, m.targetSerial);
        case kTargetMac: return readText(r, 1, TextWidth::mac, m.targetMac);
        case kSealed: return readBytes(r, crypto_box_SEALBYTES, kMaxSealed, m.sealed);
        case kKeyCommand: return readUIntAs(r, 2, m.keyCommand);
        case kStatus: hasStatus = true; return readUIntAs(r, 65535, m.status);
        case kNonce: return readBytes(r, kNonceSize, kNonceSize, m.nonce);
        case kKey: return readBytes(r, 1, kMaxKey, m.key);
        case kRetryAfter: return readUIntAs(r, kMaxRetryAfter, m.retryAfter) && m.retryAfter > 0;
        case kAnswerWindow:
            return readUIntAs(r, kMaxAnswerWindow, m.answerWindow) && m.answerWindow >= kMinAnswerWindow;
        case kKnown: return readBytes(r, 1, KnownAnswers::kMaxFilterBytes, m.known);
        case kKnownHashes: return readUIntAs(r, KnownAnswers::kMaxHashes, m.knownHashes) && m.knownHashes > 0;
        case kSlice: hasSlice = true; return readUIntAs(r, KnownAnswers::kMaxSlices - 1, m.slice);
        case kSlices:
            return readUIntAs(r, KnownAnswers::kMaxSlices, m.slices) && m.slices > 0
                && (m.slices & (m.slices - 1)) == 0;
        case kKnownPairs: return readBytes(r, 1, KnownAnswers::kMaxFilterBytes, m.knownPairs);
        case kKnownPairHashes:
            return readUIntAs(r, KnownAnswers::kMaxHashes, m.knownPairHashes) && m.knownPairHashes > 0;
        default: return skip(r);
        }
    });
    // Exactly one message per datagram: nothing may follow the map.
    if (!ok || r.currentOffset() != datagram.size())
        return std::nullopt;
    if (!hasVersion || version != kProtocolVersion || !hasType || m.id.isEmpty())
        return std::nullopt;
    switch (type) {
    case quint64(MessageType::Inquiry):
        // A filter needs its number of probes, and a slice its count.
        if (m.known.isEmpty() != (m.knownHashes == 0) || m.knownPairs.isEmpty() != (m.knownPairHashes == 0)
            || hasSlice != (m.slices != 0)
            || (m.slices && m.slice >= m.slices))
            return std::nullopt;
        m.type = MessageType::Inquiry;
        return m;
    case quint64(MessageType::Report):
        if (!hasEvent || !hasSeq || !hasRecord || m.boot.isEmpty() || m.publicKey.isEmpty())
            return std::nullopt;
        m.type = MessageType::Report;
        m.event = ReportEvent(event);
        return m;
    case quint64(MessageType::Request): {
        if (!hasOp || op == 0)
            return std::nullopt;
        // What each operation cannot do without: a request that lacks it is
        // malformed, and a device drops it instead of answering.
        const bool serial = !m.targetSerial.isEmpty();
        const bool sealed = !m.sealed.isEmpty();
        bool complete = false;
        switch (Op(op)) {
        case Op::Challenge: complete = serial || !m.targetMac.isEmpty(); break;
        case Op::Modify: complete = !m.targetMac.isEmpty() && sealed; break;
        case Op::ExportKey: complete = serial && m.keyCommand != 0; break;
        case Op::Activate:
        case Op::ResetWithAnswer:
        case Op::RestoreDefault:
        case Op::ChangePassword: complete = serial && sealed; break;
        }
        if (!complete)
            return std::nullopt;
        m.type = MessageType::Request;
        m.op = Op(op);
        return m;
    }
    case quint64(MessageType::Response):
        if (!hasStatus || m.re.isEmpty())
            return std::nullopt;
        m.type = MessageType::Response;
        return m;
    default:
        return std::nullopt;
    }
}

} // namespace VoskNet
