#pragma once

// How one simulated ONVIF device departs from the ordinary: which
// authentication it takes, how far its clock is off, whether it is in
// factory state, needs a reboot for network changes, answers slowly or not
// at all, answers changes with faults, serves on IPv6 alone, or answers
// with hostile XML (only when a rule asks for it). Seeded per device, and
// set by rules (vosk-devsim --onvif-behaviour) for tests.

#include <QString>
#include <QStringList>

#include <optional>

namespace VoskSim {

struct OnvifBehaviour
{
    enum class Auth {
        Both,           // HTTP digest and WS-UsernameToken
        Digest,         // HTTP digest only
        UsernameToken,  // WS-UsernameToken only
    };
    Auth auth = Auth::Both;
    qint64 clockOffsetSeconds = 0;  // the device's clock minus the true time
    bool factory = false;           // no users yet
    // Announces Profile Q's state scopes (FactoryDefault, Operational).
    // Some makers leave them out: such a device in factory state says so
    // only by answering GetUsers to anyone.
    bool stateScopes = true;
    // Serves (and is announced) on its IPv6 address alone: IPv4 off. Needs
    // the fleet's IPv6 addresses (OnvifFleetOptions::firstAddress6).
    bool ipv6Only = false;
    // Serves HTTPS too (its HTTP port + 1, on its IPv4 address, with the
    // fleet's self-signed certificate): Announced names it in its XAddrs
    // and GetNetworkProtocols, Quiet in GetNetworkProtocols only.
    enum class Https { Off, Announced, Quiet };
    Https https = Https::Off;
    bool rebootNeeded = false;      // SetNetworkInterfaces takes effect at the next reboot
    int delayMs = 0;                // every HTTP answer this late
    bool silent = false;            // accepts HTTP connections, never answers
    bool faults = false;            // every change answered with a Receiver fault
    // The Reason text of those faults (default "The requested action
    // failed"); any characters, control characters included.
    QString faultReason;
    // Answers GetUsers without credentials with an empty list, although
    // it has users (its users hidden from anonymous callers).
    bool hiddenUsers = false;
    // In factory state takes every request, with or without credentials,
    // as the standard allows a device without users to.
    bool open = false;
    // Answers SetNetworkInterfaces (notapplied) or SetNetworkDefaultGateway
    // (gatewaynoop) with an empty success and changes nothing.
    bool interfaceNotApplied = false;
    bool gatewayNotApplied = false;
    // Reports its IPv6 block switched off.
    bool ipv6Off = false;
    // Answers (successful HTTP answers and ProbeMatches) a client must
    // refuse: never seeded, only for the tests of clients.
    enum class Hostile {
        None,
        Oversized,  // 2 MiB over HTTP, a datagram of nearly 64 KiB
        Nested,     // elements nested 100000 deep (5000 in a datagram)
        Entities,   // a DTD whose entities expand a billion times
        Namespace,  // the same prefixes bound to namespaces of its own making
    };
    Hostile hostile = Hostile::None;
    // A device posing as another: device `index` of the fleet made with
    // `seed` (the identity OnvifDevice gives it). Never seeded.
    struct Borrowed
    {
        quint64 seed = 0;
        int index = -1;
        bool isSet() const { return index >= 0; }
    };
    // Announces that device's endpoint reference from its own address, with
    // a higher MetadataVersion, after a Bye for it (a rogue taking over a
    // listed device).
    Borrowed endpointOf;
    // Reports that device's serial number and MAC (a twin).
    Borrowed twinOf;
    // Its XAddrs name this host (an IP address or a host name) instead of
    // its own address: another host than the one that answers.
    QString xaddrHost;

    // The behaviour of device index of the fleet made with seed: the same
    // every time. Device 0 is always ordinary.
    static OnvifBehaviour seeded(quint64 seed, int index);

    // One rule: "[FIRST[-LAST]:]ITEM,ITEM,..." applied to the devices it
    // names (all without a range). Items: plain (everything ordinary),
    // auth=both|digest|wsse, clock=[+-]N[h|m|s], factory, factory=quiet
    // (factory state without the state scopes, taking every request),
    // open, reboot, slow=MS, silent, faults, faults=REASON (percent-encoded,
    // "%0A" a line break), hiddenusers, notapplied, gatewaynoop, ipv6off,
    // ipv6only, https, https=quiet, hostile=oversized|nested|entities|namespace,
    // endpoint=SEED/INDEX, twin=SEED/INDEX, xaddr=HOST.
    struct Rule
    {
        int first = 0;
        int last = -1;  // -1: to the end
        QStringList items;

        bool covers(int index) const { return index >= first && (last < 0 || index <= last); }
        void apply(OnvifBehaviour &behaviour) const;
    };
    // A rule from its text; nothing, with a reason in error, when it is
    // not one.
    static std::optional<Rule> parseRule(const QString &text, QString &error);
};

} // namespace VoskSim
