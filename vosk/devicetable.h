#pragma once

// The library's table of devices, keyed by the pair (MAC, serial number):
// what each device last reported, where it was heard, and whether the
// caller has been told it is online. Two devices that announce one MAC (or
// one serial number) are two entries, each with its own public key; an
// operation that names only the shared half cannot tell them apart and is
// refused rather than sent to either. The library thread feeds it reports and inquiry rounds and turns
// what it returns into callbacks; operations on other threads look up the
// route to a device. Thread-safe.

#include "vosk/multicastsocket.h"
#include "vosk/vosk.h"
#include "vosk/wiremessage.h"

#include <QHash>
#include <QList>

#include <array>

#include <mutex>
#include <utility>
#include <vector>

namespace VoskNet {

// Where a request for one device goes, and the key it is sealed to.
struct Route
{
    int interfaceIndex = 0;
    Family family = Family::V4;
    QByteArray publicKey;
    QByteArray serial;
    QByteArray mac;
    // The route was asked for by both halves: the request names both, so
    // that only that device answers it (a second device with the same MAC
    // or serial number stays silent, and its nonce cannot be taken for this
    // one's).
    bool byPair = false;
};

class DeviceTable final
{
public:
    // Reports are not authenticated: a flood of made-up MACs must not grow
    // the table without end.
    static constexpr qsizetype kCapacity = 16384;
    // A device that answered none of this many rounds is offline.
    static constexpr qint64 kMissedRoundsForOffline = 3;

    DeviceTable();

    using Events = std::vector<VOSK_DEVICE_INFO>;

    // A report heard on that interface. Appends the callbacks it causes
    // (online, updated or offline); filterOn hides devices without a type
    // code until the filter is off.
    void applyReport(const WireMessage &report, int interfaceIndex, Family family, bool filterOn, Events &events);
    // Starts the next inquiry round. Appends an offline event for every
    // reported device that answered none of the last rounds.
    void beginRound(Events &events);
    // Forgets what the caller was told, so every device is reported online
    // again when it next answers.
    void clearup();
    // The device an operation is for. Both given: exactly the device that
    // reported that pair. One given: the one device with that MAC or serial
    // number; VOSK_ERR_AMBIGUOUS_DEVICE when two or more devices reported
    // online (or, if none of them is, two or more at all) carry it. VOSK_OK, VOSK_ERR_NO_SUCH_DEVICE or VOSK_ERR_AMBIGUOUS_DEVICE.
    int route(const QByteArray *serial, const QByteArray *mac, Route &route) const;
    // route() == VOSK_OK.
    bool findRoute(const QByteArray *serial, const QByteArray *mac, Route &route) const;
    // The devices (MAC, serial number) heard at or after that time (steady
    // clock, ms): every report but a bye or a stale one counts, whatever
    // its event and whoever asked for it.
    QList<std::pair<QByteArray, QByteArray>> heardSince(qint64 since) const;
    // How many devices answered this round or the one before.
    int recentlyHeard() const;

private:
    // What the table keeps of a report's record. A fleet of 16,384 devices
    // reports 16,384 of them, and the decoded WireRecord holds each of its
    // eleven texts in an allocation of its own (about 50 bytes apiece, and
    // 260 bytes of array headers in every entry); here the nine texts
    // besides the key's are one byte array, each behind its length byte
    // (the protocol bounds every text to under 256 bytes), and the numbers
    // sit beside it. The MAC and serial number are the entry's key.
    struct StoredRecord
    {
        QByteArray texts;
        quint32 deviceTypeCode = 0;
        quint16 port = 0;
        quint16 channelCount = 0;
        quint16 httpPort = 0;
        quint8 ipv6PrefixLength = 0;
        quint8 capabilities = 0;
        bool dhcpEnabled = false;
        bool notActivated = false;
        bool newResetType = false;
        bool addressInfoValid = false;

        static StoredRecord from(const WireRecord &record);
        bool operator==(const StoredRecord &other) const;
        bool operator!=(const StoredRecord &other) const { return !(*this == other); }
    };

    struct Device
    {
        StoredRecord record;
        std::array<char, kPublicKeySize> publicKey{};
        std::array<char, kBootSize> boot{};
        quint32 seq = 0;
        int interfaceIndex = 0;
        Family family = Family::V4;
        bool reported = false;
        qint64 lastHeardRound = 0;
        qint64 lastHeardMs = 0;
    };

    // (MAC, serial number): neither holds a zero byte.
    using DeviceId = std::pair<QByteArray, QByteArray>;

    static VOSK_DEVICE_INFO toInfo(const DeviceId &id, const StoredRecord &record, int event);
    // With m_mutex held: drops the devices that went offline by silence, to
    // make room in a full table.
    void forgetSilentDevices();
    bool silent(const Device &device) const;

    mutable std::mutex m_mutex;
    // Reserved for kCapacity at construction (a few tens of KB of buckets):
    // growing it during a burst held the old and the new nodes at once.
    QHash<DeviceId, Device> m_devices;
    qint64 m_round = 0;
    qint64 m_lastSweepRound = -1;
};

} // namespace VoskNet
