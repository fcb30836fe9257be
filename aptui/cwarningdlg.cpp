#include "aptui/cwarningdlg.h"

#include <QLabel>

namespace TarnGUIToolkit {

CWarningDlg::CWarningDlg(const QString &title, const QString &text, QWidget *parent)
    : BaseDialog(false, false, false, false, true, true, false, parent)
{
    setObjectName(QStringLiteral("CWarningDlg"));
    // Messages may quote device texts; they are never read as markup.
    m_labelMessage = new QLabel(text);
    m_labelMessage->setObjectName(QStringLiteral("m_labelMessage"));
    m_labelMessage->setTextFormat(Qt::PlainText);
    m_labelMessage->setAlignment(Qt::AlignCenter);
    m_labelMessage->setWordWrap(true);
    m_labelMessage->setContentsMargins(20, 10, 20, 10);
    setCenterWidget(m_labelMessage);
    setTitle(title);
    // Long messages grow the box instead of being cut off.
    setMinimumSize(360, 200);
    resize(360, 200);
}

QString CWarningDlg::text() const
{
    return m_labelMessage->text();
}

int CWarningDlg::ShowMessageInfo(const QString &title, const QString &text, QWidget *parent)
{
    CWarningDlg dialog(title, text, parent);
    return dialog.exec();
}

} // namespace TarnGUIToolkit
