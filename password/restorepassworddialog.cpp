#include "password/restorepassworddialog.h"

#include "aptui/multistatelineedit.h"
#include "operations/devicekinds.h"
#include "operations/deviceoperations.h"
#include "aptui/newpasswordrows.h"
#include "password/passwordlog.h"
#include "password/recoveryui.h"
#include "password/recoverywidgets.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace VoskTool {

namespace {

constexpr int kMaxSecurityCodeLength = 32;

} // namespace

RestorePasswordDialog::RestorePasswordDialog(QWidget *parent, const DeviceKey &device, const QString &deviceType)
    : aptui::BaseDialog(false, false, false, false, true, true, true, parent)
    , m_strSerialNo(device.serialNumber)
    , m_device(device)
    , m_strDevType(deviceType)
{
    setEnableDefaultConnections(true, true, true, false, true);
    setTitle(tr("Reset Default Password"));

    auto *centre = new QWidget;
    centre->setObjectName(QStringLiteral("ResrotePasswordDialog"));
    auto *step1 = new QLabel(scanQrCodeHint(), centre);
    step1->setObjectName(QStringLiteral("label"));
    step1->setWordWrap(true);
    m_labelQcCode = new QLabel(centre);
    m_labelQcCode->setObjectName(QStringLiteral("m_labelQcCode"));
    m_labelQcCode->setFixedSize(112, 112);
    m_labelQcCode->setAlignment(Qt::AlignCenter);
    auto *step2 = new QLabel(tr("在“安全码”处输入“密码重置”生成的安全码，恢复的缺省密码是57094。"), centre);
    step2->setObjectName(QStringLiteral("label_2"));
    step2->setWordWrap(true);
    auto *caption = new QLabel(tr("Security Code:"), centre);
    caption->setObjectName(QStringLiteral("m_labelSecurityCode"));
    m_lineEditSecurityCode = new aptui::MultiStateLineEdit(centre);
    m_lineEditSecurityCode->setObjectName(QStringLiteral("m_lineEditSecurityCode"));
    m_lineEditSecurityCode->setMaxLength(kMaxSecurityCodeLength);
    m_lineEditSecurityCode->setContextMenuPolicy(Qt::NoContextMenu);
    m_labelHintSecurityCode = new QLabel(centre);
    m_labelHintSecurityCode->setObjectName(QStringLiteral("m_labelHintSecurityCode"));
    m_labelHintSecurityCode->setFixedSize(16, 16);
    auto *step3 = new QLabel(retryHint(), centre);
    step3->setObjectName(QStringLiteral("label_3"));
    step3->setWordWrap(true);

    auto *grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(6);
    grid->addWidget(makeStepNumber(centre, "m_labelPic1", QStringLiteral("1")), 0, 0, Qt::AlignTop);
    grid->addWidget(step1, 0, 1);
    grid->addWidget(makeStepNumber(centre, "m_labelPic2", QStringLiteral("2")), 1, 0, Qt::AlignTop);
    grid->addWidget(step2, 1, 1);
    auto *code = new QHBoxLayout;
    code->setSpacing(4);
    code->addWidget(caption);
    code->addWidget(m_lineEditSecurityCode, 1);
    code->addWidget(m_labelHintSecurityCode);
    grid->addLayout(code, 2, 1);
    grid->addWidget(makeStepNumber(centre, "m_labelPic3", QStringLiteral("3")), 3, 0, Qt::AlignTop);
    grid->addWidget(step3, 3, 1);
    grid->setRowStretch(4, 1);
    auto *body = new QHBoxLayout(centre);
    body->setContentsMargins(14, 8, 14, 4);
    body->addLayout(grid, 1);
    body->addWidget(m_labelQcCode, 0, Qt::AlignTop);
    setCenterWidget(centre);
    setFixedSize(500, 280);

    m_lineEditSecurityCode->installEventFilter(this);
    m_lineEditSecurityCode->setFocus();
    connect(this, &RestorePasswordDialog::signalConfirmButtonClicked, this,
            &RestorePasswordDialog::onRestorePassword, Qt::DirectConnection);
    onGenerateQRcode();
}

RestorePasswordDialog::~RestorePasswordDialog() = default;

QStringList RestorePasswordDialog::modelPrefixes()
{
    // Our product families whose serial numbers begin with the model text.
    return {QStringLiteral("VC-21"), QStringLiteral("VC-22"), QStringLiteral("VC-23"), QStringLiteral("VC-31"),
            QStringLiteral("VC-33"), QStringLiteral("VC-41"), QStringLiteral("VC-42"), QStringLiteral("VD-10"),
            QStringLiteral("VD-20"), QStringLiteral("VE-01"), QStringLiteral("VE-11"), QStringLiteral("VF-01"),
            QStringLiteral("VF-02"), QStringLiteral("VR-51"), QStringLiteral("VR-61"), QStringLiteral("VR-71"),
            QStringLiteral("VT-10")};
}

QString RestorePasswordDialog::qrTextFor(const QString &deviceType, const QString &serialNumber)
{
    QString serialPart = serialNumber;
    for (const QString &prefix : modelPrefixes()) {
        if (deviceType.contains(prefix)) {
            if (!deviceType.isEmpty())
                serialPart.remove(deviceType);
            break;
        }
    }
    return QStringLiteral("A:") + deviceType + QStringLiteral("**") + serialPart;
}

bool RestorePasswordDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lineEditSecurityCode && event->type() == QEvent::MouseButtonPress)
        onClearWarningInfo();
    return aptui::BaseDialog::eventFilter(watched, event);
}

void RestorePasswordDialog::onRestorePassword()
{
    const QString code = m_lineEditSecurityCode->text();
    RecoveryUi::Hint hint;
    hint.dialog = this;
    if (code.isEmpty()) {
        hint.text = tr("Please input security code.");
        hint.field = m_lineEditSecurityCode;
        hint.hintLabel = m_labelHintSecurityCode;
        RecoveryUi::showHint(hint);
        return;
    }
    const OperationOutcome outcome =
        DeviceKinds::instance().operationsFor(m_device)->restoreDefaultPassword(m_device, code.toLatin1());
    if (!outcome.ok()) {
        qCInfo(lcPassword) << "[RestorePasswordDialog] restore refused, error" << outcome.code;
        hint.text = tr("Restore password failed.");
        RecoveryUi::showHint(hint);
        return;
    }
    hint.kind = RecoveryUi::KindSuccess;
    hint.text = tr("Restore password succeed.");
    RecoveryUi::showHint(hint);
    accept();
}

void RestorePasswordDialog::onClearWarningInfo()
{
    clearFieldMark(m_lineEditSecurityCode, m_labelHintSecurityCode);
}

void RestorePasswordDialog::onGenerateQRcode()
{
    m_qrText = qrTextFor(m_strDevType, m_strSerialNo);
    showQrCode(m_labelQcCode, m_qrText);
}

} // namespace VoskTool
