#include "shell/tipdialog.h"

#include "ui_tipdialog.h"

namespace VoskTool {

TipDialog::TipDialog(QWidget *parent)
    : BaseDialog(false, false, false, false, true, true, true, parent)
    , m_ui(std::make_unique<::Ui::TipDialog>())
{
    auto *centre = new QWidget(this);
    m_ui->setupUi(centre);
    m_ui->m_labelTip->setText(tr("sure"));
    setCenterWidget(centre);
    setEnableDefaultConnections(true, true, true, true, true);
}

TipDialog::~TipDialog() = default;

void TipDialog::setText(const QString &text)
{
    m_ui->m_labelTip->setText(text);
}

QString TipDialog::text() const
{
    return m_ui->m_labelTip->text();
}

} // namespace VoskTool
