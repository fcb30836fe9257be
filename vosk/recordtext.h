#pragma once

// The texts of the device record: how long each may be, and the one
// bounded copy in and out of a fixed-width field. The widths follow from
// the layout in vosk/vosk.h (a field's size less its terminator), so the
// library, the protocol's bounds, the simulator and the tool's store agree
// by construction. Header only: the tool's discovery layer uses it without
// linking the library.

#include "vosk/vosk.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace VoskNet {

// The longest text each field of VOSK_DEVICE_INFO holds, in bytes. The
// protocol bounds the record's texts by the same numbers.
struct TextWidth final
{
    static constexpr qsizetype serialNumber = sizeof(VOSK_DEVICE_INFO::serialNumber) - 1;
    static constexpr qsizetype mac = sizeof(VOSK_DEVICE_INFO::mac) - 1;
    static constexpr qsizetype ipv4Address = sizeof(VOSK_DEVICE_INFO::ipv4Address) - 1;
    static constexpr qsizetype ipv4Mask = sizeof(VOSK_DEVICE_INFO::ipv4Mask) - 1;
    static constexpr qsizetype ipv4Gateway = sizeof(VOSK_DEVICE_INFO::ipv4Gateway) - 1;
    static constexpr qsizetype softwareVersion = sizeof(VOSK_DEVICE_INFO::softwareVersion) - 1;
    static constexpr qsizetype dspVersion = sizeof(VOSK_DEVICE_INFO::dspVersion) - 1;
    static constexpr qsizetype startTime = sizeof(VOSK_DEVICE_INFO::startTime) - 1;
    static constexpr qsizetype deviceDescription = sizeof(VOSK_DEVICE_INFO::deviceDescription) - 1;
    // The record's IPv6 fields are narrower than VOSK_NET_PARAM's 128 bytes:
    // the record bounds what a device can hold.
    static constexpr qsizetype ipv6Address = sizeof(VOSK_DEVICE_INFO::ipv6Address) - 1;
    static constexpr qsizetype ipv6Gateway = sizeof(VOSK_DEVICE_INFO::ipv6Gateway) - 1;
};

// Length of the text in a span: up to the first zero byte, or the whole
// span when it has none.
inline std::size_t fieldLength(const char *field, std::size_t width)
{
    const void *end = std::memchr(field, 0, width);
    return end ? static_cast<std::size_t>(static_cast<const char *>(end) - field) : width;
}

// The field's text, never read past its span.
template <std::size_t N>
QByteArray fieldBytes(const char (&field)[N])
{
    return QByteArray(field, static_cast<qsizetype>(fieldLength(field, N)));
}

// Copies at most N - 1 bytes of text into the field and zero-fills the
// rest, so the field is always terminated inside its span. Returns false
// when the text had to be cut.
template <std::size_t N>
bool setFieldBytes(char (&field)[N], const QByteArray &text)
{
    const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(text.size()), N - 1);
    std::memset(field, 0, N);
    std::memcpy(field, text.constData(), length);
    return length == static_cast<std::size_t>(text.size());
}

// Copies a text field of one width into a field of another: at most the
// source's text, cut to fit and always terminated in the destination.
template <std::size_t To, std::size_t From>
void copyField(char (&to)[To], const char (&from)[From])
{
    const std::size_t length = std::min(fieldLength(from, From), To - 1);
    std::memset(to, 0, To);
    std::memcpy(to, from, length);
}

} // namespace VoskNet
