#pragma once

#include "netparam/rules/passwordpolicy.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QEvent;
class QGridLayout;
class QLabel;
class QWidget;

namespace aptui {
class MultiStateLineEdit;
class PasswordStrengthMeter;
}

namespace VoskTool {

// The new-password rows of the reset dialogs and the pane's activation:
// "New Password:" with its field and hint, the strength bars with their
// word, "Confirm Password:" with its field and hint. The widgets carry the
// object names the style sheet and the tests know (m_lineEditNewPassword,
// m_labelLevel1, ...; the confirmation caption's name is the owner's
// choice) and belong to `owner`. Both fields: password echo, at most 16
// characters, no context menu. GUI thread only.
class NewPasswordRows final : public QObject
{
    Q_OBJECT

public:
    // How a refusal reads: the reset dialogs' policy text has a blank after
    // "numbers," that the activation form's has not (two texts of the
    // design, translated each on its own).
    enum class Wording { ResetDialogs, Activation };

    // A refused password: the message, and whether it needs the tall
    // bubble. It concerns the new-password field and its hint label.
    using Reporter = std::function<void(const QString &text, bool tall)>;

    explicit NewPasswordRows(QWidget *owner, const char *confirmCaptionName = "m_labelConfirmPassword");
    ~NewPasswordRows() override;

    // Puts the rows into `grid` from `row` on, in three columns from
    // `column` on (caption, field with the strength row under it, hint).
    // Returns the next free row.
    int addTo(QGridLayout *grid, int row, int column);

    aptui::MultiStateLineEdit *newPassword() const { return m_lineEditNewPassword; }
    aptui::MultiStateLineEdit *confirmPassword() const { return m_lineEditConfirmPassword; }
    QLabel *newPasswordHint() const { return m_labelHintNewPassword; }
    QLabel *confirmPasswordHint() const { return m_labelHintConfirmPassword; }
    QLabel *levelText() const { return m_labelLevel; }

    // Which devices the password goes to (ours by default): sets the
    // fields' length to the longest any of them takes, and what check()
    // and showStrength() rate against.
    void setTargets(const PasswordTargets &targets);

    // Rates the text against "admin" and shows bars and word; for a text
    // the policy refuses, grey bars and why (refusalOf()).
    void showStrength(const QString &password);
    // Why the policy refuses a typed password, in words for the meter:
    // too long for a target, too short, the user name, one kind of
    // character. Empty for an empty password or one it accepts.
    QString refusalOf(const QString &password) const;

    // The acceptance checks in their order: empty (the focus moves to the
    // new password), mismatch, a character the 8-bit conversion cannot
    // carry, too long for a target, too weak (the tall policy bubble).
    // Reports the first failure through `report` and returns false; on
    // success fills `bytes` with the password as our devices take it (as
    // UTF-8 when only devices that take UTF-8 are targets).
    bool check(Wording wording, const Reporter &report, QByteArray *bytes);
    // The policy in words for the current targets (what a too weak
    // password is refused with), to show beside the fields.
    QString ruleText(Wording wording) const;
    // Empties both fields (which resets the meter) and clears their marks.
    void clear();

    // Event filter part shared by the dialogs: true (swallowed) for Cut, Copy
    // and Paste in a password field; a mouse press in one clears its mark.
    bool filter(QObject *watched, QEvent *event);
    // Both fields back to normal, both hints emptied.
    void clearMarks();

private:
    aptui::MultiStateLineEdit *m_lineEditNewPassword;
    aptui::MultiStateLineEdit *m_lineEditConfirmPassword;
    QLabel *m_labelNewPassword;
    QLabel *m_labelConfirmPassword;
    QLabel *m_labelHintNewPassword;
    QLabel *m_labelHintConfirmPassword;
    QLabel *m_labelLevel1;
    QLabel *m_labelLevel2;
    QLabel *m_labelLevel3;
    QLabel *m_labelLevel;
    QLabel *m_labelHintLevel;
    std::unique_ptr<aptui::PasswordStrengthMeter> m_meter;
    PasswordTargets m_targets;
};

// Clears a field's error mark: state Normal and an empty hint label.
void clearFieldMark(aptui::MultiStateLineEdit *field, QLabel *hint);

} // namespace VoskTool
