// Writes the fuzz target's seed corpus into the folder given: one file per
// message kind, encoded exactly as the library and the simulator send them.

#include "vosk/sealedpayload.h"
#include "vosk/wiremessage.h"

#include <sodium.h>

#include <cstdio>
#include <string>

using namespace VoskNet;

namespace {

bool write(const std::string &dir, const char *name, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return false;
    const std::string path = dir + "/" + name;
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file) == size_t(bytes.size());
    return std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2 || sodium_init() < 0)
        return 2;
    const std::string dir = argv[1];

    WireMessage inquiry;
    inquiry.id = WireMessage::newId();
    // A repeat of a large fleet's burst: window, both known-answer lists, slice.
    WireMessage repeat;
    repeat.id = WireMessage::newId();
    repeat.answerWindow = 50;
    repeat.known = QByteArray(64, '\x5a');
    repeat.knownHashes = 6;
    repeat.knownPairs = QByteArray(72, '\x3c');
    repeat.knownPairHashes = 6;
    repeat.slice = 3;
    repeat.slices = 4;

    WireMessage report;
    report.type = MessageType::Report;
    report.id = WireMessage::newId();
    report.re = inquiry.id;
    report.boot = QByteArray(kBootSize, '\x11');
    report.seq = 7;
    report.publicKey = QByteArray(kPublicKeySize, '\x22');
    WireRecord &r = report.record;
    r.serialNumber = "VC-2120A000700001";
    r.mac = "02-5e-07-00-00-01";
    r.ipv4Address = "192.168.1.3";
    r.ipv4Mask = "255.255.255.0";
    r.ipv4Gateway = "192.168.1.1";
    r.deviceTypeCode = 0x9D01;
    r.port = 8000;
    r.channelCount = 1;
    r.softwareVersion = "V5.4.2 build 260311";
    r.dspVersion = "V7.1 build 260210";
    r.startTime = "2026-12-03 07:12:55";
    r.deviceDescription = "VC-2120A";
    r.ipv6Address = "fe80::5e:7:1";
    r.ipv6Gateway = "fe80::1";
    r.ipv6PrefixLength = 64;
    r.capabilities = 0xC7;
    r.dhcpEnabled = true;
    r.httpPort = 80;
    r.newResetType = true;
    r.addressInfoValid = true;

    unsigned char pk[32], sk[32];
    crypto_box_keypair(pk, sk);
    SealedPayload payload;
    payload.id = WireMessage::newId();
    payload.op = Op::Modify;
    payload.targetMac = r.mac;
    payload.nonce = QByteArray(kNonceSize, '\x33');
    payload.password = "Admin12345";
    payload.hasNetParams = true;
    payload.netParams = r;

    WireMessage request;
    request.type = MessageType::Request;
    request.id = payload.id;
    request.op = Op::Modify;
    request.targetMac = r.mac;
    request.sealed = payload.seal(QByteArray(reinterpret_cast<const char *>(pk), 32));

    WireMessage challenge;
    challenge.type = MessageType::Request;
    challenge.id = WireMessage::newId();
    challenge.op = Op::Challenge;
    challenge.targetSerial = r.serialNumber;

    WireMessage exportKey = challenge;
    exportKey.op = Op::ExportKey;
    exportKey.keyCommand = 2;

    WireMessage response;
    response.type = MessageType::Response;
    response.id = WireMessage::newId();
    response.re = challenge.id;
    response.nonce = QByteArray(kNonceSize, '\x44');

    WireMessage keyResponse = response;
    keyResponse.nonce.clear();
    keyResponse.key = "V2.gqFhYmNkZWZnaGlqa2xtbm9wcXJzdHV2";

    SealedPayload reset;
    reset.id = WireMessage::newId();
    reset.op = Op::ResetWithAnswer;
    reset.targetSerial = r.serialNumber;
    reset.nonce = QByteArray(kNonceSize, '\x55');
    reset.answer = "<ResetAnswer><Answer>RA1.AAAA</Answer></ResetAnswer>";
    reset.newPassword = "Sixteen#Chars16!";
    reset.resetCameras = true;

    WireMessage locked = response;
    locked.nonce.clear();
    locked.status = kStatusLocked;
    locked.retryAfter = 42;

    SealedPayload change;
    change.id = WireMessage::newId();
    change.op = Op::ChangePassword;
    change.targetSerial = r.serialNumber;
    change.nonce = QByteArray(kNonceSize, '\x66');
    change.password = "Admin12345";
    change.newPassword = "Changed#Pass9";

    const bool ok = write(dir, "inquiry", inquiry.encode()) && write(dir, "repeat", repeat.encode())
        && write(dir, "report", report.encode())
        && write(dir, "request-modify", request.encode()) && write(dir, "request-challenge", challenge.encode())
        && write(dir, "request-key", exportKey.encode()) && write(dir, "response-nonce", response.encode())
        && write(dir, "response-key", keyResponse.encode()) && write(dir, "sealed-modify", payload.encode())
        && write(dir, "sealed-reset", reset.encode()) && write(dir, "response-locked", locked.encode())
        && write(dir, "sealed-change", change.encode());
    return ok ? 0 : 1;
}
