#pragma once

// The messages of the discovery protocol (docs/protocol.md) and their CBOR
// encoding. Shared by the library, the device simulator and the fuzz target.
// Decoding is strict and bounded: anything malformed, oversized, of another
// version or of an unknown type yields no message at all.

#include <QByteArray>

class QCborStreamReader;
class QCborStreamWriter;

#include <cstdint>
#include <optional>

namespace VoskNet {

constexpr int kMaxDatagram = 1400;
constexpr int kIdSize = 16;
constexpr int kBootSize = 8;
constexpr int kPublicKeySize = 32;
constexpr int kNonceSize = 16;
constexpr int kMaxSealed = 1200;
constexpr int kMaxKey = 384;
constexpr int kMaxSecret = 64;
constexpr int kMaxAnswer = 1000;
constexpr quint64 kProtocolVersion = 1;
// The answer window an inquiry may ask for, and the one assumed without.
constexpr int kMinAnswerWindow = 10;
constexpr int kMaxAnswerWindow = 5000;
constexpr int kDefaultAnswerWindow = 500;

enum class MessageType : quint8 { Inquiry = 1, Report = 2, Request = 3, Response = 4 };
enum class ReportEvent : quint8 { Answer = 0, Hello = 1, Changed = 2, Bye = 3 };
enum class Op : quint8 {
    Challenge = 1,
    Modify = 2,
    Activate = 3,
    ExportKey = 4,
    ResetWithAnswer = 5,
    RestoreDefault = 6,
    ChangePassword = 7
};
constexpr quint64 kMaxOp = 7;

// Status codes of a response; the non-zero ones are the library's error
// codes as well.
enum : quint32 {
    kStatusDone = 0,
    kStatusBadParam = 2002,
    kStatusDenied = 2009,
    kStatusLocked = 2010,       // locked out; key 23 says for how many more seconds
    kStatusReactive = 2021,
    kStatusNotActivated = 2022  // the operation needs an activated device
};
// The bound of response key 23 (seconds left of a lockout).
constexpr quint32 kMaxRetryAfter = 86400;

// The device record as it travels (texts are Latin-1 bytes, no zero byte).
// Also the network parameters of a modification, of which only the
// addresses, ports, prefix length and DHCP flag are used.
struct WireRecord
{
    QByteArray serialNumber;
    QByteArray mac;
    QByteArray ipv4Address;
    QByteArray ipv4Mask;
    QByteArray ipv4Gateway;
    quint32 deviceTypeCode = 0;
    quint16 port = 0;
    quint16 channelCount = 0;
    QByteArray softwareVersion;
    QByteArray dspVersion;
    QByteArray startTime;
    QByteArray deviceDescription;
    QByteArray ipv6Address;
    QByteArray ipv6Gateway;
    quint8 ipv6PrefixLength = 0;
    quint8 capabilities = 0;
    bool dhcpEnabled = false;
    quint16 httpPort = 0;
    bool notActivated = false;
    bool newResetType = false;
    bool addressInfoValid = false;

    bool operator==(const WireRecord &other) const;
    bool operator!=(const WireRecord &other) const { return !(*this == other); }
};

struct WireMessage
{
    MessageType type = MessageType::Inquiry;
    QByteArray id;  // kIdSize random bytes
    QByteArray re;  // the id answered, or empty

    // Report
    ReportEvent event = ReportEvent::Answer;
    QByteArray boot;
    quint32 seq = 0;
    QByteArray publicKey;
    WireRecord record;

    // Request
    Op op = Op::Challenge;
    QByteArray targetSerial;
    QByteArray targetMac;
    QByteArray sealed;
    quint8 keyCommand = 0;

    // Inquiry (all optional; devices that do not know them answer as if
    // they were absent)
    quint16 answerWindow = 0;    // ms; 0: not carried (500)
    QByteArray known;            // Bloom filter of the MACs heard already
    quint8 knownHashes = 0;      // its number of probes
    QByteArray knownPairs;       // Bloom filter of the devices (MAC and serial number pairs)
    quint8 knownPairHashes = 0;  // its number of probes
    quint8 slice = 0;            // which slice of the MACs this inquiry is for
    quint8 slices = 0;           // of how many; 0: not carried (1)

    // Response
    quint32 status = kStatusDone;
    QByteArray nonce;
    QByteArray key;
    quint32 retryAfter = 0;      // s; with kStatusLocked; 0: not carried

    // Inquiry: whether its known answers name that device, so that it
    // stays silent. The pair list decides when the inquiry carries one;
    // else the MAC list, as for the clients that came before the pairs.
    bool knownAnswersName(const QByteArray &mac, const QByteArray &serial) const;

    // The datagram; empty when a field breaks its bound (a programming
    // error on the sender's side, never sent).
    QByteArray encode() const;
    // nullopt for anything that is not a well-formed version-1 message.
    static std::optional<WireMessage> decode(const QByteArray &datagram);

    // A fresh random id (libsodium's generator).
    static QByteArray newId();
};

// The network-parameter map (record keys 3, 4, 5, 7, 13, 14, 15, 17, 18),
// used inside sealed modification requests.
void encodeNetParams(QCborStreamWriter &writer, const WireRecord &params);
bool decodeNetParams(QCborStreamReader &reader, WireRecord &params);

} // namespace VoskNet
