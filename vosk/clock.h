#pragma once

// The one clock of the library's timers and deadlines: monotonic
// milliseconds, unaffected by changes of the wall clock.

#include <QtGlobal>

#include <chrono>

namespace VoskNet {

inline qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace VoskNet
