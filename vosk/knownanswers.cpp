#include "vosk/knownanswers.h"

#include <sodium.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace VoskNet {

namespace {

// SipHash-2-4 (libsodium's crypto_shorthash) of the bytes, read
// little-endian.
quint64 sipHash(const unsigned char (&key)[crypto_shorthash_KEYBYTES], const QByteArray &bytes)
{
    unsigned char out[crypto_shorthash_BYTES];
    crypto_shorthash(out, reinterpret_cast<const unsigned char *>(bytes.constData()), quint64(bytes.size()), key);
    quint64 value = 0;
    for (int i = crypto_shorthash_BYTES - 1; i >= 0; --i)
        value = (value << 8) | out[i];
    return value;
}

quint64 probeHash(const QByteArray &inquiryId, const QByteArray &entry)
{
    unsigned char key[crypto_shorthash_KEYBYTES] = {};
    std::memcpy(key, inquiryId.constData(), std::min<std::size_t>(sizeof key, std::size_t(inquiryId.size())));
    return sipHash(key, entry);
}

// Probe i of a value: double hashing over the filter's bits.
quint32 probe(quint64 value, int i, quint32 bits)
{
    const quint32 h1 = quint32(value);
    const quint32 h2 = quint32(value >> 32) | 1u;
    return quint32((quint64(h1) + quint64(i) * h2) % bits);
}

} // namespace

quint64 KnownAnswers::sliceHash(const QByteArray &mac)
{
    static const unsigned char kSliceKey[crypto_shorthash_KEYBYTES] = {'V', 'O', 'S', 'K', '-', 'S', 'L', 'I',
                                                                       'C', 'E', '-', 'K', 'E', 'Y', '-', '1'};
    return sipHash(kSliceKey, mac);
}

QByteArray KnownAnswers::pairEntry(const QByteArray &mac, const QByteArray &serial)
{
    return mac + '\0' + serial;
}

QByteArray KnownAnswers::build(const QByteArray &inquiryId, const QList<QByteArray> &entries, int &hashes)
{
    hashes = 0;
    if (entries.isEmpty())
        return {};
    // Eight bits an entry up to the size bound; the number of probes that
    // suits the bits each entry really gets (ln 2 of them).
    const int bytes = int(std::clamp<qsizetype>(entries.size(), 8, kListBytes));
    const quint32 bits = quint32(bytes) * 8;
    hashes = std::clamp(int(std::lround(double(bits) / double(entries.size()) * 0.6931)), 1, kMaxHashes);
    QByteArray filter(bytes, '\0');
    auto *data = reinterpret_cast<unsigned char *>(filter.data());
    for (const QByteArray &entry : entries) {
        const quint64 value = probeHash(inquiryId, entry);
        for (int i = 0; i < hashes; ++i) {
            const quint32 bit = probe(value, i, bits);
            data[bit / 8] |= quint8(1u << (bit % 8));
        }
    }
    return filter;
}

bool KnownAnswers::contains(const QByteArray &filter, int hashes, const QByteArray &inquiryId, const QByteArray &entry)
{
    if (filter.isEmpty() || hashes < 1)
        return false;
    const quint32 bits = quint32(filter.size()) * 8;
    const auto *data = reinterpret_cast<const unsigned char *>(filter.constData());
    const quint64 value = probeHash(inquiryId, entry);
    for (int i = 0; i < hashes; ++i) {
        const quint32 bit = probe(value, i, bits);
        if (!(data[bit / 8] & (1u << (bit % 8))))
            return false;
    }
    return true;
}

} // namespace VoskNet
