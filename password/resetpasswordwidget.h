#pragma once

#include "aptui/basedialog.h"

#include <QByteArray>
#include <QString>

class QLabel;
class QToolButton;

namespace aptui {
class MultiStateLineEdit;
}

namespace VoskTool {
class NewPasswordRows;
}

// The input of the batch reset's second phase: the new password with its
// confirmation and strength, and the folder that holds the reset service's
// answer files. The confirm button runs the checks and accepts only when
// they pass; cancel and the title's close button reject. Modal, built on
// the caller's stack. GUI thread only.
class ResetPasswordWidget final : public aptui::BaseDialog
{
    Q_OBJECT

public:
    explicit ResetPasswordWidget(QWidget *parent = nullptr);
    ~ResetPasswordWidget() override;

    // The confirmed password as typed, and as it goes to the devices (valid
    // after acceptance).
    QString password() const;
    QByteArray passwordBytes() const { return m_passwordBytes; }
    // The folder text as it stands.
    QString folder() const;

public Q_SLOTS:
    void onNewPasswordTextChanged(const QString &strNewPassword);
    void onResetPassword();
    bool eventFilter(QObject *watched, QEvent *event) override;
    void onBtnFilepathClicked();

private:
    VoskTool::NewPasswordRows *m_passwordRows;
    aptui::MultiStateLineEdit *m_lineEditFilePath;
    QToolButton *m_btnFilePath;
    QLabel *m_labelHintFilePath;
    QByteArray m_passwordBytes;
};
