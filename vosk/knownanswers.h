#pragma once

// The known-answer lists an inquiry carries: Bloom filters of the devices
// the client has heard already, so those devices stay silent and a repeat of
// the inquiry costs only the answers still missing. A device is its MAC and
// serial number pair, and the pair list names exactly that: two devices
// that announce one MAC are named apart, so a twin whose own answer was
// lost is not silenced by the other's. The MAC list beside it is for the
// devices that came before the pair list, which read only that. The probes
// are keyed by the inquiry's id, so a device that one filter names by
// mistake (a false positive) is very likely not named by the next repeat's.
// A large fleet's lists are cut into slices by a fixed hash of the MAC (so
// twins share a slice), one inquiry per slice.
// docs/protocol.md, "Known answers", is the normative description.

#include <QByteArray>
#include <QList>

#include <utility>

namespace VoskNet {

struct KnownAnswers final
{
    // A device as the lists name it: MAC, serial number.
    using Pair = std::pair<QByteArray, QByteArray>;

    // Bounds of the inquiry keys (either list).
    static constexpr int kMaxFilterBytes = 1024;
    static constexpr int kMaxHashes = 16;
    static constexpr int kMaxSlices = 64;
    // The most this client puts in one list: an inquiry carries two, and
    // both must fit one datagram.
    static constexpr int kListBytes = 512;
    // Devices per slice before the lists are cut into more slices: at 8
    // filter bits each (six probes) one unheard device in about 50 is
    // wrongly silenced by one filter, and independently by the next.
    static constexpr int kDevicesPerSlice = kListBytes;

    // The slice (0..slices-1) of a MAC; slices is a power of two. The
    // hash can be kept: sliceOf(sliceHash(mac), slices).
    static quint64 sliceHash(const QByteArray &mac);
    static int sliceOf(quint64 sliceHash, int slices) { return slices <= 1 ? 0 : int(sliceHash & quint64(slices - 1)); }
    static int sliceOf(const QByteArray &mac, int slices) { return sliceOf(sliceHash(mac), slices); }
    // What the pair list hashes for a device: the MAC, a zero byte, the
    // serial number (neither text holds a zero byte, so no two pairs meet).
    static QByteArray pairEntry(const QByteArray &mac, const QByteArray &serial);
    // The filter of those entries (MACs, or pair entries) for the inquiry
    // with that id, and the number of probes it needs (hashes). Empty when
    // entries is.
    static QByteArray build(const QByteArray &inquiryId, const QList<QByteArray> &entries, int &hashes);
    // Whether the filter names the entry (no false negatives).
    static bool contains(const QByteArray &filter, int hashes, const QByteArray &inquiryId, const QByteArray &entry);
};

} // namespace VoskNet
