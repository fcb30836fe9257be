#pragma once

#include "operations/deviceoperations.h"

namespace VoskTool {

// The devices of our own discovery library, through VOSK::VoskHandler (its
// only caller). Answers for every device, each addressed by both halves of
// its key (the library's *_ByPair calls): a second device announcing the
// same MAC or serial number can neither answer nor open what is sent.
// The library's last error is read on the calling thread right after a
// failure (the library keeps it per thread) and becomes the outcome's code.
// Thread-safe: the handler's wrappers take no lock and the library's
// operations may run on several threads at once.
class VoskDeviceOperations final : public DeviceOperations
{
public:
    // The library's error code as a status.
    static OperationStatus statusOf(int libraryError);
    // The library's block of new parameters: zero-filled, texts Latin-1.
    static VOSK_NET_PARAM blockOf(const NetParams &params);

    QString kindName() const override;
    bool handles(const DeviceKey &device) const override;
    OperationOutcome setNetParams(const DeviceKey &device, const QByteArray &password,
                                  const NetParams &params) override;
    OperationOutcome activate(const DeviceKey &device, const QByteArray &password) override;
    OperationOutcome changePassword(const DeviceKey &device, const QByteArray &oldPassword,
                                    const QByteArray &newPassword) override;
    OperationOutcome exportKey(const DeviceKey &device, bool newStyle, QByteArray *key) override;
    OperationOutcome resetPassword(const DeviceKey &device, const ResetPasswdParam &block) override;
    OperationOutcome restoreDefaultPassword(const DeviceKey &device, const QByteArray &securityCode) override;
};

} // namespace VoskTool
