#pragma once

#include "aptui/basedialog.h"

class QLabel;

namespace TarnGUIToolkit {

// A plain modal message box on the framed dialog: the title's close button,
// the message (plain text, centred, word-wrapped) and a confirm button.
// GUI thread only.
class CWarningDlg final : public aptui::BaseDialog
{
    Q_OBJECT

public:
    CWarningDlg(const QString &title, const QString &text, QWidget *parent = nullptr);

    QString text() const;

    // Shows the message modally; returns when it was closed: Accepted by
    // the confirm button, Rejected by the close button.
    static int ShowMessageInfo(const QString &title, const QString &text, QWidget *parent = nullptr);

private:
    QLabel *m_labelMessage = nullptr;
};

} // namespace TarnGUIToolkit
