#pragma once

#include <QDialog>
#include <memory>

class QLabel;
class QPoint;

namespace aptui {
class MultiStateLineEdit;
}

namespace Ui {
class WarningDialog;
}

namespace VoskTool {

// The self-closing message bubble the pages use to report a field's
// validation or an operation's result: frameless, translucent (the style
// sheet draws m_borderWidget), a kind icon, the text and a close button.
// It closes itself autoCloseInterval() after it was built.
// GUI thread only.
class WarningDialog final : public QDialog
{
    Q_OBJECT

public:
    // Message kinds. Any other value shows the text without an icon and
    // leaves a given field alone.
    enum Kind : int {
        KindSuccess = 0,
        KindInformation = 1, // field state "Tip", small info icon
        KindError = 2,       // field state "Error", small error icon
    };

    // How long a bubble stays when nobody closes it.
    static constexpr int AutoCloseMilliseconds = 2000;

    WarningDialog(int kind, const QString &text, QWidget *owner = nullptr);
    ~WarningDialog() override;

    // Marks the field (when both `lineEdit` and `iconLabel` are given),
    // shows the bubble with its top-left corner at `position` (global
    // coordinates, pulled back inside the screen's available area when it
    // would stick out) and returns when the bubble has closed, by its
    // button or by itself. The field keeps its mark afterwards: KindError
    // sets the line edit's state to ERROR, KindInformation to TIP, and the
    // icon label shows the matching small icon; other kinds leave both.
    static void showWarning(const QPoint &position, int kind, const QString &text, QWidget *owner = nullptr,
                            aptui::MultiStateLineEdit *lineEdit = nullptr, QLabel *iconLabel = nullptr);
    // The same, 310 x 160 for long texts.
    static void showWarningTall(const QPoint &position, int kind, const QString &text, QWidget *owner = nullptr,
                                aptui::MultiStateLineEdit *lineEdit = nullptr, QLabel *iconLabel = nullptr);

    // A bubble that leaves the keyboard where it is: drawn inside the
    // owner's window (a window of its own, never activated, without an
    // owner), it never takes the focus, so typing goes on in the field it
    // speaks about. `position` is global, kept inside the window. It stays until its close button is
    // pressed, the user edits the marked field (acting on what it says),
    // or another lasting bubble replaces it; a KindSuccess one also closes
    // itself after autoCloseInterval(), as it asks nothing of the user.
    // Marks the field as showWarning() does. Returns at once; the bubble
    // deletes itself when it closes. GUI thread.
    static WarningDialog *showLasting(const QPoint &position, int kind, const QString &text, QWidget *owner,
                                      aptui::MultiStateLineEdit *lineEdit = nullptr, QLabel *iconLabel = nullptr,
                                      bool tall = false);
    // The lasting bubble shown now, or null.
    static WarningDialog *lastingBubble();

    // Test seam: the self-close delay of bubbles built from now on;
    // 0 or less restores AutoCloseMilliseconds.
    static void setAutoCloseInterval(int milliseconds);
    static int autoCloseInterval();

    QString text() const;

Q_SIGNALS:
    // The close button closed the bubble.
    void signalWarnClose();

public Q_SLOTS:
    void onBtnClose();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    static void markField(int kind, aptui::MultiStateLineEdit *lineEdit, QLabel *iconLabel);
    static void run(const QPoint &position, int kind, const QString &text, QWidget *owner,
                    aptui::MultiStateLineEdit *lineEdit, QLabel *iconLabel, bool tall);
    void placeAt(const QPoint &position);

    // Global: forms declared inside a namespace (VoskTool::Ui, ...) must
    // not hide this one, whatever the including file saw before.
    std::unique_ptr<::Ui::WarningDialog> m_ui;
    int m_timerId = 0;
};

} // namespace VoskTool
