#pragma once

#include "aptui/basedialog.h"

#include <memory>

namespace Ui {
class TipDialog;
}

namespace VoskTool {

// A framed yes/no question: the title's close button, confirm and cancel.
// exec() returns Accepted only when the user confirms; cancel and the
// close button give Rejected. GUI thread only.
class TipDialog final : public aptui::BaseDialog
{
    Q_OBJECT

public:
    explicit TipDialog(QWidget *parent = nullptr);
    ~TipDialog() override;

    void setText(const QString &text);
    QString text() const;

private:
    // Global: forms declared inside a namespace (VoskTool::Ui, ...) must
    // not hide this one, whatever the including file saw before.
    std::unique_ptr<::Ui::TipDialog> m_ui;
};

} // namespace VoskTool
