#pragma once

#include "discovery/devicekey.h"
#include "operations/operationwords.h"

#include <QString>
#include <QVector>

namespace VoskTool {

// The rule that no IPv4 address is given twice, checked before anything
// is sent, by the pane (one device or a batch) and the console alike.

// One listed device and the address it holds now.
struct HeldAddress
{
    DeviceKey device;
    QString address;
};

// One device of a change and the address it is to get; an empty address
// means it keeps its own (which it then goes on holding).
struct PlannedAddress
{
    DeviceKey device;
    QString address;
};

// A new address that another device holds, or that the change gives to
// two of its devices. `holder` is the other device.
struct AddressClash
{
    DeviceKey device;
    QString address;
    DeviceKey holder;
    bool holderInChange = false; // given the same address by this change
};

// Every clash of the change with the listed devices and within itself, in
// the order of `planned`. Addresses compare as numbers ("010" is 10). An
// address held by a device of the change that moves away is free; one
// held by a device that keeps its address is not. A device keeping its own
// address is no clash; "0.0.0.0" and empty texts are no address.
QVector<AddressClash> findAddressClashes(const QVector<PlannedAddress> &planned,
                                         const QVector<HeldAddress> &listed);

// The message that refuses a change, one line per clash:
// "SERIAL would get ADDRESS, held by HOLDER" (or "... given to HOLDER too").
// Translated for the window, English for the console.
QString clashMessage(const QVector<AddressClash> &clashes, bool translated);

} // namespace VoskTool
