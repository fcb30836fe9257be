#pragma once

#include "aptui/basedialog.h"
#include "discovery/devicekey.h"

#include <QString>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace aptui {
class MultiStateLineEdit;
}

namespace VoskTool {

class NewPasswordRows;

// Resets a lost administrator password with the maker's reset service: step
// 1 shows the device key as a QR code ("QR code" button), step 2 takes the
// service's answer (typed, or an answer file imported through a copy), step
// 3 the new password; confirm sends it all to the device. The key is asked
// of the device, and the reset sent to it, by both halves of its key
// through the operations of its kind (DeviceKinds): a device that shares
// its serial number neither answers nor is sent anything.
//
// newResetType: the device's new-style key (command 2, QR text without the
// "B:" prefix, typed answers offered); supportResetIpc: the "Reset IPC"
// check box is offered (reset the attached cameras too).
//
// The confirm button does not close the dialog; a successful reset accepts
// it, cancel and the title's close button reject it. Modal, built on the
// caller's stack. GUI thread only; the library calls block it briefly.
class ResetPasswordDialog final : public aptui::BaseDialog
{
    Q_OBJECT

public:
    ResetPasswordDialog(const DeviceKey &device, const QString &deviceType, bool newResetType,
                        bool supportResetIpc, QWidget *parent = nullptr);
    ~ResetPasswordDialog() override;

    // The text of the last QR code shown; empty before the first.
    QString qrText() const { return m_qrText; }

public Q_SLOTS:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void onMaualAutoChanged();
    void onExportFile();
    void onImportFile();
    void onResetPassword();
    void onNewPasswordTextChanged(const QString &strNewPassword);
    void onClearWarningInfo();
    void onClearFilePathError();
    void onGenerateQRcode();

private:
    void showError(const QString &text, aptui::MultiStateLineEdit *field = nullptr, QLabel *hintLabel = nullptr);

    QString m_strSerialNo;
    DeviceKey m_device;
    QString m_strDevType;
    bool m_bNewResetType;
    bool m_bSupportResetIPC;
    QString m_qrText;

    QLabel *m_labelStep1;
    QLabel *m_labelStep2;
    QPushButton *m_btnQRcode;
    QPushButton *m_btnExport;
    QRadioButton *m_radioBtnManualInput;
    QRadioButton *m_radioBtnAutoInput;
    aptui::MultiStateLineEdit *m_lineEditFilePath;
    QToolButton *m_btnFilePath;
    QLabel *m_labelHintFilePath;
    QLabel *m_labelQcCode;
    QCheckBox *m_checkBoxIPC;
    NewPasswordRows *m_passwordRows;
};

} // namespace VoskTool
