#pragma once

#include <QDialog>
#include <QSize>
#include <memory>

class QAbstractButton;
class QPushButton;

namespace Ui {
class BaseDialog;
}

namespace aptui {

class BaseTitle;

// The frameless dialog every message, question and tool dialog is built
// on: a BaseTitle, a centre area (a word-wrapped default label until
// setCenterWidget replaces it) and a bottom bar with confirm and cancel.
//
// Default connections, made at construction: the title's five signals are
// re-emitted by the dialog; minimise -> showMinimized(), maximise ->
// restoreWindow(), close -> close(); confirm -> onConfirmBtnClicked(),
// cancel -> onCancelBtnClicked(). The result is Accepted only through
// confirm (while confirm closes the dialog) or the caller's own accept();
// the title's close button and cancel give Rejected.
// Normally built on the caller's stack and run with exec(). GUI thread only.
class BaseDialog : public QDialog
{
    Q_OBJECT

public:
    // Every title button, confirm and cancel shown.
    explicit BaseDialog(QWidget *parent = nullptr);
    BaseDialog(bool showAppButton, bool showOptionButton, bool showMinButton, bool showMaxButton,
               bool showCloseButton, bool showConfirmButton, bool showCancelButton, QWidget *parent = nullptr);
    ~BaseDialog() override;

    BaseTitle *title() const;
    QPushButton *confirmButton() const;
    QPushButton *cancelButton() const;

    // Fixes the dialog at width x height and the centre area at width x
    // (height - title height - bottom bar height). Hiding or resizing the
    // bottom bar later gives the centre area the freed height.
    void setFixedSize(int width, int height);
    void setFixedSize(const QSize &size);

    // Replaces the whole centre area (default label included, which is
    // deleted) by `widget`; the dialog takes it over. From then on the
    // setDefaultText overloads do nothing. Null is ignored.
    void setCenterWidget(QWidget *widget);
    // Appended to the title's custom buttons / left of confirm and cancel.
    void addTitleButton(QAbstractButton *button);
    void addBottomWidget(QWidget *widget);

Q_SIGNALS:
    void signalAppButtonClicked();
    void signalOptionButtonClicked();
    void signalMinButtonClicked();
    void signalMaxButtonClicked();
    void signalCloseButtonClicked();
    void signalConfirmButtonClicked();
    void signalCancelButtonClicked();

public Q_SLOTS:
    // For minimise, maximise and close: true makes the default connection
    // (never twice), false removes it. enableConfirm / enableCancel decide
    // whether confirm accepts / cancel closes the dialog before the button
    // signal is emitted.
    void setEnableDefaultConnections(bool enableMin, bool enableMax, bool enableClose, bool enableConfirm,
                                     bool enableCancel);
    // Title text and window title.
    void setTitle(const QString &title);
    // Rich text, centred, `fontSize` points, bold when `blod`.
    void setDefaultText(const QString &text, int fontSize, bool blod);
    void setDefaultText(const QString &text, int fontSize);
    // Plain text as it stands.
    void setDefaultText(const QString &text);
    void setConfirmButtonText(const QString &text);
    void setCancelButtonText(const QString &text);
    void setBottomBarHeight(int height);
    void setBottomVisible(bool value);
    void onConfirmBtnClicked();
    void onCancelBtnClicked();
    // Maximised becomes normal, anything else maximised.
    void restoreWindow();

public:
    // A dialog without a parent opens centred on the application's active
    // window (the main window behind it), not on the screen, unless it was
    // moved before; with no active window, on the screen as before.
    void setVisible(bool visible) override;

private:
    void applyCentreSize();

    // Global: forms declared inside a namespace (VoskTool::Ui, ...) must
    // not hide this one, whatever the including file saw before.
    std::unique_ptr<::Ui::BaseDialog> m_ui;
    BaseTitle *m_title = nullptr;
    // Valid while the default connection is made; doubles as its flag.
    QMetaObject::Connection m_minConnection;
    QMetaObject::Connection m_maxConnection;
    QMetaObject::Connection m_closeConnection;
    bool m_confirmCloses = true;
    bool m_cancelCloses = true;
    QSize m_fixedSize;
};

} // namespace aptui
