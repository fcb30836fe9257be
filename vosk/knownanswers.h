#pragma once

// The known-answer list an inquiry carries: a Bloom filter of the MACs the
// client has heard already, so those devices stay silent and a repeat of
// the inquiry costs only the answers still missing. The probes are keyed by
// the inquiry's id, so a device that one filter names by mistake (a false
// positive) is very likely not named by the next repeat's. A large fleet's
// list is cut into slices by a fixed hash of the MAC, one inquiry per slice.
// docs/protocol.md, "Known answers", is the normative description.

#include <QByteArray>
#include <QList>

namespace VoskNet {

struct KnownAnswers final
{
    // Bounds of the inquiry keys.
    static constexpr int kMaxFilterBytes = 1024;
    static constexpr int kMaxHashes = 16;
    static constexpr int kMaxSlices = 64;
    // MACs per slice before the list is cut into more slices: at 8 filter
    // bits each (six probes) one unheard device in about 50 is wrongly
    // silenced by one filter, and independently by the next.
    static constexpr int kMacsPerSlice = kMaxFilterBytes;

    // The slice (0..slices-1) of a MAC; slices is a power of two. The
    // hash can be kept: sliceOf(sliceHash(mac), slices).
    static quint64 sliceHash(const QByteArray &mac);
    static int sliceOf(quint64 sliceHash, int slices) { return slices <= 1 ? 0 : int(sliceHash & quint64(slices - 1)); }
    static int sliceOf(const QByteArray &mac, int slices) { return sliceOf(sliceHash(mac), slices); }
    // The filter of those MACs for the inquiry with that id, and the number
    // of probes it needs (hashes). Empty when macs is.
    static QByteArray build(const QByteArray &inquiryId, const QList<QByteArray> &macs, int &hashes);
    // Whether the filter names the MAC (no false negatives).
    static bool contains(const QByteArray &filter, int hashes, const QByteArray &inquiryId, const QByteArray &mac);
};

} // namespace VoskNet
