#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QMovie;

namespace TarnGUIToolkit {

// A modal waiting dialog: an animation (a GIF path, usually
// ":/CommonSkin/Loading/Images/Public/Control/Loading/Loading.gif") over
// a text. Connect a worker thread's finished() to OnImmediatelyStopChase()
// and run exec(): it returns Accepted once the slot ran, even when the
// slot ran before exec() was called (the worker was quicker), so the wait
// can never outlive the work. With `userCanClose` false (the usual case)
// Escape and window closing are refused: only the slot ends the wait.
// Lives on the GUI thread; the slot may be called from any thread.
class CChaseDialog final : public QDialog
{
    Q_OBJECT

public:
    CChaseDialog(QWidget *parent, const QString &animationPath, const QString &text, bool userCanClose = false);
    ~CChaseDialog() override;

    QString text() const;
    void setText(const QString &text);
    // Offers a button with this text under the animation (none unless
    // set): pressing it, or Escape, emits signalCancelRequested() once and
    // disables the button. The dialog stays until the work has ended
    // (OnImmediatelyStopChase), so whatever is in flight is still reported.
    void setCancelText(const QString &text);
    QPushButton *cancelButton() const { return m_cancelButton; }
    // The animation, or null when `animationPath` was empty.
    QMovie *movie() const;

Q_SIGNALS:
    void signalCancelRequested();

public Q_SLOTS:
    // Returns at once when the stop was already requested.
    int exec() override;
    void OnImmediatelyStopChase();
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QLabel *m_animationLabel = nullptr;
    QLabel *m_textLabel = nullptr;
    QMovie *m_movie = nullptr;
    QPushButton *m_cancelButton = nullptr;
    void requestCancel();
    bool m_userCanClose = false;
    bool m_stopRequested = false;
};

} // namespace TarnGUIToolkit
