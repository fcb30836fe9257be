#pragma once

#include "aptui/cfancytitle.h"

#include <QIcon>
#include <memory>

class QAbstractButton;

namespace Ui {
class BaseTitle;
}

namespace aptui {

// The title bar of the framed dialogs: application icon button, title
// text, room for added buttons, then the option, minimise, maximise and
// close buttons. A button shown by its flag is also enabled; a hidden one
// is disabled, so its shortcut cannot fire. The buttons only emit signals:
// the dialog decides what they do. Dragging moves the window (CFancyTitle);
// a left double click counts as a click on the maximise button while that
// button is shown, and does nothing otherwise.
// GUI thread only.
class BaseTitle final : public TarnGUIToolkit::CFancyTitle
{
    Q_OBJECT

public:
    // Every button shown.
    explicit BaseTitle(QWidget *parent = nullptr);
    BaseTitle(bool showAppButton, bool showOptionButton, bool showMinButton, bool showMaxButton,
              bool showCloseButton, QWidget *parent = nullptr);
    // Deletes the added custom buttons with their layout items.
    ~BaseTitle() override;

    QString title() const;

Q_SIGNALS:
    void signalAppButtonClicked();
    void signalOptionButtonClicked();
    void signalMinButtonClicked();
    void signalMaxButtonClicked();
    void signalCloseButtonClicked();

public Q_SLOTS:
    void setAppButtonShow(bool show);
    void setOptionButtonShow(bool show);
    void setMinButtonShow(bool show);
    void setMaxButtonShow(bool show);
    void setCloseButtonShow(bool show);
    // Appends `button` after the earlier custom buttons; the title takes
    // it over. Null is ignored.
    void addCustomButton(QAbstractButton *button);
    void setTitle(const QString &title);
    void setTitleIcon(const QIcon &icon);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    // Global: forms declared inside a namespace (VoskTool::Ui, ...) must
    // not hide this one, whatever the including file saw before.
    std::unique_ptr<::Ui::BaseTitle> m_ui;
};

} // namespace aptui
