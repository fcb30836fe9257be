#pragma once

#include "aptui/basedialog.h"
#include "operations/onvifdevices.h"

class QLabel;
class QLineEdit;
class QRadioButton;

namespace VoskTool {

// Asks for the user name and password that ONVIF devices are signed in
// with: once for every ONVIF row, or for the checked ONVIF rows only
// (devices whose password differs from the others'). The password field is
// masked and takes nothing from or to the clipboard; what was typed lives
// in the dialog and in the credentials it hands out, never in a file, a
// setting or a log.
//
// Confirm accepts only with a user name; otherwise the dialog stays open
// and says what is missing. Built on the caller's stack, run with exec().
// GUI thread only.
class OnvifSignInDialog final : public aptui::BaseDialog
{
    Q_OBJECT

public:
    // `checkedOnvif`: how many checked rows are ONVIF rows; 0 leaves "for
    // every ONVIF device" as the only choice.
    explicit OnvifSignInDialog(int checkedOnvif, QWidget *parent = nullptr);
    ~OnvifSignInDialog() override;

    // What was typed (user name trimmed, password as UTF-8, the way the
    // standard's digests take it).
    OnvifCredentials credentials() const;
    // True: for the checked ONVIF rows only; false: for every ONVIF row.
    bool checkedOnly() const;

    // For tests, as the user would type and choose.
    void setUserName(const QString &name);
    void setPassword(const QString &password);
    void setCheckedOnly(bool checkedOnly);
    // The inline complaint shown when confirm was refused; empty otherwise.
    QString complaint() const;

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onConfirm();

    QLineEdit *m_lineEditUserName;
    QLineEdit *m_lineEditPassword;
    QRadioButton *m_radioAll;
    QRadioButton *m_radioChecked;
    QLabel *m_labelComplaint;
};

} // namespace VoskTool
