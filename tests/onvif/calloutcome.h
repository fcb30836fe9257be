#pragma once

#include "onvif/deviceclient.h"

#include <QtTest>

namespace TestSupport {

// Catches the answer of one asynchronous DeviceClient call, so a test can
// wait for it (spinning the event loop) and then look at the result.
template <typename T>
struct CallOutcome
{
    bool called = false;
    Onvif::Result<T> result;
    Onvif::DeviceClient::Callback<T> callback()
    {
        return [this](const Onvif::Result<T> &r) {
            called = true;
            result = r;
        };
    }
    bool wait(int timeoutMs = 15000) { return QTest::qWaitFor([this] { return called; }, timeoutMs); }
};

} // namespace TestSupport
