#include "password/resetpasswordwidget.h"

#include "aptui/multistatelineedit.h"
#include "aptui/newpasswordrows.h"
#include "password/recoveryui.h"
#include "password/recoverywidgets.h"

#include <QDir>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

using VoskTool::RecoveryUi;

namespace {

// Long enough for any folder: a cut folder would find no answer files.
constexpr int kMaxFolderLength = 1024;

} // namespace

ResetPasswordWidget::ResetPasswordWidget(QWidget *parent)
    : aptui::BaseDialog(false, false, false, false, true, true, true, parent)
{
    setEnableDefaultConnections(true, true, true, false, true);
    setTitle(tr("Config Reset Password"));
    setWindowIcon(QIcon(QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/SystemInfo/logo_large.png")));

    auto *centre = new QWidget;
    centre->setObjectName(QStringLiteral("ResetPasswordWidget_centerWidget"));
    m_passwordRows = new VoskTool::NewPasswordRows(centre);
    m_lineEditFilePath = new aptui::MultiStateLineEdit(centre);
    m_lineEditFilePath->setObjectName(QStringLiteral("m_lineEditFilePath"));
    m_lineEditFilePath->setMaxLength(kMaxFolderLength);
    m_btnFilePath = VoskTool::makeFolderButton(centre, "m_btnFilePath");
    m_labelHintFilePath = new QLabel(centre);
    m_labelHintFilePath->setObjectName(QStringLiteral("m_labelHintFilePath"));
    m_labelHintFilePath->setFixedSize(16, 16);

    auto *grid = new QGridLayout(centre);
    grid->setContentsMargins(24, 20, 24, 10);
    grid->setVerticalSpacing(8);
    const int next = m_passwordRows->addTo(grid, 0, 0);
    auto *folderRow = new QHBoxLayout;
    folderRow->setSpacing(4);
    folderRow->addWidget(m_lineEditFilePath, 1);
    folderRow->addWidget(m_btnFilePath);
    folderRow->addWidget(m_labelHintFilePath);
    grid->addLayout(folderRow, next, 0, 1, 3);
    grid->setRowStretch(next + 1, 1);
    setCenterWidget(centre);
    setFixedSize(450, 300);

    connect(this, &ResetPasswordWidget::signalConfirmButtonClicked, this, &ResetPasswordWidget::onResetPassword,
            Qt::DirectConnection);
    connect(m_passwordRows->newPassword(), &QLineEdit::textChanged, this,
            &ResetPasswordWidget::onNewPasswordTextChanged);
    connect(m_btnFilePath, &QToolButton::clicked, this, &ResetPasswordWidget::onBtnFilepathClicked);
    m_lineEditFilePath->installEventFilter(this);
    m_passwordRows->newPassword()->installEventFilter(this);
    m_passwordRows->confirmPassword()->installEventFilter(this);
    m_passwordRows->newPassword()->setFocus();
}

ResetPasswordWidget::~ResetPasswordWidget()
{
    m_passwordBytes.fill('\0');
}

QString ResetPasswordWidget::password() const
{
    return m_passwordRows->confirmPassword()->text();
}

QString ResetPasswordWidget::folder() const
{
    return m_lineEditFilePath->text();
}

void ResetPasswordWidget::onNewPasswordTextChanged(const QString &strNewPassword)
{
    m_passwordRows->showStrength(strNewPassword);
}

void ResetPasswordWidget::onResetPassword()
{
    if (m_lineEditFilePath->text().isEmpty()) {
        RecoveryUi::Hint hint;
        hint.dialog = this;
        hint.text = tr("Please input the secret key.");
        hint.field = m_lineEditFilePath;
        hint.hintLabel = m_labelHintFilePath;
        RecoveryUi::showHint(hint);
        return;
    }
    if (!m_passwordRows->check(VoskTool::NewPasswordRows::Wording::ResetDialogs,
                                 RecoveryUi::newPasswordReporter(this, m_passwordRows), &m_passwordBytes))
        return;
    accept();
}

bool ResetPasswordWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lineEditFilePath && event->type() == QEvent::MouseButtonPress)
        VoskTool::clearFieldMark(m_lineEditFilePath, m_labelHintFilePath);
    if (m_passwordRows->filter(watched, event))
        return true;
    return aptui::BaseDialog::eventFilter(watched, event);
}

void ResetPasswordWidget::onBtnFilepathClicked()
{
    QString chosen = RecoveryUi::chooseFolder(this, QString());
    if (chosen.isEmpty())
        return;
    chosen = QDir::toNativeSeparators(chosen);
    if (!chosen.endsWith(QDir::separator()))
        chosen += QDir::separator();
    m_lineEditFilePath->setText(chosen);
}
