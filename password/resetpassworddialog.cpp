#include "password/resetpassworddialog.h"

#include "aptui/guitextcodec.h"
#include "aptui/multistatelineedit.h"
#include "operations/devicekinds.h"
#include "aptui/newpasswordrows.h"
#include "password/passwordlog.h"
#include "operations/recoveryfiles.h"
#include "password/recoveryui.h"
#include "password/recoverywidgets.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstring>

namespace VoskTool {

namespace {

// The field takes a typed answer (about 150 characters; the library's
// field holds 256 bytes) or a path (260): text that does not fit is refused
// with a message when confirmed, never cut where nobody sees it.
constexpr int kMaxKeyOrPathLength = 1024;

// The last answer file and the last export folder chosen in this run: the
// choosers start there next time.
QString &lastImportedFile()
{
    static QString path;
    return path;
}
QString &lastExportFolder()
{
    static QString path;
    return path;
}

} // namespace

ResetPasswordDialog::ResetPasswordDialog(const DeviceKey &device, const QString &deviceType, bool newResetType,
                                         bool supportResetIpc, QWidget *parent)
    : aptui::BaseDialog(false, false, false, false, true, true, true, parent)
    , m_strSerialNo(device.serialNumber)
    , m_device(device)
    , m_strDevType(deviceType)
    , m_bNewResetType(newResetType)
    , m_bSupportResetIPC(supportResetIpc)
{
    setEnableDefaultConnections(true, true, true, false, true);
    setTitle(tr("Reset Password"));
    setWindowIcon(QIcon(QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/SystemInfo/logo_large.png")));

    auto *centre = new QWidget;
    centre->setObjectName(QStringLiteral("ResetPasswordDialog_centerWidget"));
    m_labelStep1 = new QLabel(scanQrCodeHint(), centre);
    m_labelStep1->setObjectName(QStringLiteral("m_labelStep1"));
    m_labelStep1->setWordWrap(true);
    m_btnQRcode = new QPushButton(tr("QR code"), centre);
    m_btnQRcode->setObjectName(QStringLiteral("m_btnQRcode"));
    m_btnExport = new QPushButton(tr("Export"), centre);
    m_btnExport->setObjectName(QStringLiteral("m_btnExport"));
    m_btnExport->hide();
    m_labelStep2 = new QLabel(tr("请导入由“密码重置”生成的密钥文件，并重置密码（若是字符则手动输入，若是XML文件则文件导入）。"),
                              centre);
    m_labelStep2->setObjectName(QStringLiteral("m_labelStep2"));
    m_labelStep2->setWordWrap(true);
    m_radioBtnManualInput = new QRadioButton(tr("ManualInput"), centre);
    m_radioBtnManualInput->setObjectName(QStringLiteral("m_radioBtnManualInput"));
    m_radioBtnAutoInput = new QRadioButton(tr("AutoInput"), centre);
    m_radioBtnAutoInput->setObjectName(QStringLiteral("m_radioBtnAutoInput"));
    m_lineEditFilePath = new aptui::MultiStateLineEdit(centre);
    m_lineEditFilePath->setObjectName(QStringLiteral("m_lineEditFilePath"));
    m_lineEditFilePath->setMaxLength(kMaxKeyOrPathLength);
    m_btnFilePath = makeFolderButton(centre, "m_btnFilePath");
    m_labelHintFilePath = new QLabel(centre);
    m_labelHintFilePath->setObjectName(QStringLiteral("m_labelHintFilePath"));
    m_labelHintFilePath->setFixedSize(16, 16);
    m_labelQcCode = new QLabel(centre);
    m_labelQcCode->setObjectName(QStringLiteral("m_labelQcCode"));
    m_labelQcCode->setFixedSize(112, 112);
    m_labelQcCode->setAlignment(Qt::AlignCenter);
    m_passwordRows = new NewPasswordRows(centre);
    m_checkBoxIPC = new QCheckBox(tr("Reset IPC"), centre);
    m_checkBoxIPC->setObjectName(QStringLiteral("m_checkBoxIPC"));
    auto *retry = new QLabel(retryHint(), centre);
    retry->setObjectName(QStringLiteral("label"));
    retry->setWordWrap(true);

    // Steps 1 and 2 on the left, the QR code on the right; step 3 below.
    auto *grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->addWidget(makeStepNumber(centre, "m_labelPic1", QStringLiteral("1")), 0, 0, Qt::AlignTop);
    auto *step1 = new QHBoxLayout;
    step1->addWidget(m_labelStep1, 1);
    step1->addWidget(m_btnQRcode);
    step1->addWidget(m_btnExport);
    grid->addLayout(step1, 0, 1);
    grid->addWidget(makeStepNumber(centre, "m_labelPic2", QStringLiteral("2")), 1, 0, Qt::AlignTop);
    grid->addWidget(m_labelStep2, 1, 1);
    auto *radios = new QHBoxLayout;
    radios->addWidget(m_radioBtnManualInput);
    radios->addWidget(m_radioBtnAutoInput);
    radios->addStretch();
    grid->addLayout(radios, 2, 1);
    auto *top = new QHBoxLayout;
    top->addLayout(grid, 1);
    top->addWidget(m_labelQcCode, 0, Qt::AlignTop);
    // The answer field runs under the QR code too: a typed answer is about
    // 150 characters, and as much of it as fits should be seen to check it.
    auto *path = new QHBoxLayout;
    path->setSpacing(4);
    path->setContentsMargins(20, 0, 0, 0);
    path->addWidget(m_lineEditFilePath, 1);
    path->addWidget(m_btnFilePath);
    path->addWidget(m_labelHintFilePath);

    auto *passwordGrid = new QGridLayout;
    passwordGrid->setContentsMargins(0, 0, 0, 0);
    passwordGrid->setVerticalSpacing(3);
    passwordGrid->addWidget(makeStepNumber(centre, "m_labelPic3", QStringLiteral("3")), 0, 0, Qt::AlignTop);
    const int next = m_passwordRows->addTo(passwordGrid, 0, 1);
    passwordGrid->setColumnStretch(2, 1);
    passwordGrid->addWidget(m_checkBoxIPC, next, 2);

    auto *body = new QVBoxLayout(centre);
    body->setContentsMargins(14, 8, 14, 4);
    body->setSpacing(6);
    body->addLayout(top);
    body->addLayout(path);
    body->addLayout(passwordGrid);
    body->addWidget(retry);
    setCenterWidget(centre);
    setFixedSize(600, 380);

    m_radioBtnManualInput->setChecked(true);
    m_btnFilePath->hide();
    if (!m_bNewResetType) {
        m_radioBtnManualInput->hide();
        m_radioBtnAutoInput->setChecked(true);
        m_btnFilePath->show();
        m_labelQcCode->clear();
    }
    if (!m_bSupportResetIPC)
        m_checkBoxIPC->hide();

    connect(m_radioBtnAutoInput, &QRadioButton::toggled, this, &ResetPasswordDialog::onMaualAutoChanged);
    connect(m_radioBtnManualInput, &QRadioButton::toggled, this, &ResetPasswordDialog::onMaualAutoChanged);
    connect(m_btnExport, &QPushButton::clicked, this, &ResetPasswordDialog::onExportFile);
    connect(m_btnFilePath, &QToolButton::clicked, this, &ResetPasswordDialog::onClearFilePathError);
    connect(m_btnFilePath, &QToolButton::clicked, this, &ResetPasswordDialog::onImportFile);
    connect(this, &ResetPasswordDialog::signalConfirmButtonClicked, this, &ResetPasswordDialog::onResetPassword,
            Qt::DirectConnection);
    connect(m_passwordRows->newPassword(), &QLineEdit::textChanged, this,
            &ResetPasswordDialog::onNewPasswordTextChanged);
    connect(m_btnQRcode, &QPushButton::clicked, this, &ResetPasswordDialog::onGenerateQRcode);

    m_lineEditFilePath->installEventFilter(this);
    m_passwordRows->newPassword()->installEventFilter(this);
    m_passwordRows->confirmPassword()->installEventFilter(this);
}

ResetPasswordDialog::~ResetPasswordDialog() = default;

bool ResetPasswordDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lineEditFilePath && event->type() == QEvent::MouseButtonPress)
        onClearFilePathError();
    if (m_passwordRows->filter(watched, event))
        return true;
    return aptui::BaseDialog::eventFilter(watched, event);
}

void ResetPasswordDialog::onMaualAutoChanged()
{
    m_btnFilePath->setVisible(!m_radioBtnManualInput->isChecked());
}

void ResetPasswordDialog::onExportFile()
{
    QString folder = RecoveryUi::chooseFolder(this, lastExportFolder());
    if (folder.isEmpty())
        return;
    lastExportFolder() = folder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    QByteArray key;
    if (const OperationOutcome fetched = fetchDeviceKey(m_device, m_bNewResetType, &key); !fetched.ok()) {
        qCInfo(lcPassword) << "[ResetPasswordDialog] key export refused, error" << fetched.code;
        showError(tr("Get key error."));
        return;
    }
    if (!writeDeviceKeyFile(deviceKeyFileName(folder, m_strSerialNo, QDateTime::currentDateTime()), key)) {
        showError(tr("Create device key file error."));
        return;
    }
    RecoveryUi::Hint hint;
    hint.dialog = this;
    hint.kind = RecoveryUi::KindSuccess;
    hint.text = tr("Exported.");
    RecoveryUi::showHint(hint);
}

void ResetPasswordDialog::onImportFile()
{
    const QString path = RecoveryUi::chooseFile(this, lastImportedFile());
    if (path.isEmpty())
        return;
    lastImportedFile() = path;
    m_lineEditFilePath->setText(QDir::toNativeSeparators(path));
    m_lineEditFilePath->setCursorPosition(0);
}

void ResetPasswordDialog::onResetPassword()
{
    const QString keyOrPath = m_lineEditFilePath->text();
    if (keyOrPath.isEmpty()) {
        showError(tr("Please input the secret key."), m_lineEditFilePath, m_labelHintFilePath);
        return;
    }
    QByteArray password;
    if (!m_passwordRows->check(NewPasswordRows::Wording::ResetDialogs, RecoveryUi::newPasswordReporter(this, m_passwordRows), &password))
        return;

    const bool fromFile = m_radioBtnAutoInput->isChecked();
    QString copyPath;
    if (fromFile) {
        copyPath = answerCopyPath();
        switch (makeAnswerCopy(keyOrPath, copyPath)) {
        case AnswerCopy::Made:
            break;
        case AnswerCopy::SourceUnreadable:
            showError(tr("The answer file cannot be read."), m_lineEditFilePath, m_labelHintFilePath);
            return;
        case AnswerCopy::TargetUnwritable:
            showError(tr("The answer file cannot be copied to %1.").arg(QDir::toNativeSeparators(copyPath)));
            return;
        }
    }
    ResetPasswdParam block;
    const ResetBlockCheck filled =
        fillResetBlock(&block, fromFile ? QString() : keyOrPath, copyPath, password,
                       m_bSupportResetIPC && m_checkBoxIPC->isChecked(), TarnGUIToolkit::GuiTextCodec());
    password.fill('\0');
    if (filled == ResetBlockCheck::KeyTooLong) {
        showError(tr("The secret key is too long: at most 256 bytes."), m_lineEditFilePath, m_labelHintFilePath);
        return;
    }
    if (filled != ResetBlockCheck::Ok) {
        showError(tr("The path of the answer file copy is too long: at most 260 bytes."));
        return;
    }
    const OperationOutcome reset = DeviceKinds::instance().operationsFor(m_device)->resetPassword(m_device, block);
    std::memset(&block, 0, sizeof block);
    if (!reset.ok()) {
        qCInfo(lcPassword) << "[ResetPasswordDialog] reset refused, error" << reset.code;
        showError(tr("Reset password failed."));
        return;
    }
    RecoveryUi::Hint hint;
    hint.dialog = this;
    hint.kind = RecoveryUi::KindSuccess;
    hint.text = tr("Reset password Succeed.");
    RecoveryUi::showHint(hint);
    accept();
}

void ResetPasswordDialog::onNewPasswordTextChanged(const QString &strNewPassword)
{
    m_passwordRows->showStrength(strNewPassword);
}

void ResetPasswordDialog::onClearWarningInfo()
{
    clearFieldMark(m_lineEditFilePath, m_labelHintFilePath);
    m_passwordRows->clearMarks();
}

void ResetPasswordDialog::onClearFilePathError()
{
    clearFieldMark(m_lineEditFilePath, m_labelHintFilePath);
}

void ResetPasswordDialog::onGenerateQRcode()
{
    QByteArray key;
    if (const OperationOutcome fetched = fetchDeviceKey(m_device, m_bNewResetType, &key); !fetched.ok()) {
        qCInfo(lcPassword) << "[ResetPasswordDialog] no key for the QR code, error" << fetched.code;
        showError(tr("Generate QR code error."));
        return;
    }
    // The key is text up to its first zero byte.
    const qsizetype end = key.indexOf('\0');
    const QString keyText = QString::fromLatin1(end < 0 ? key : key.left(end));
    m_qrText = (m_bNewResetType ? QString() : QStringLiteral("B:")) + m_strDevType + QStringLiteral("**") + keyText;
    showQrCode(m_labelQcCode, m_qrText);
}

void ResetPasswordDialog::showError(const QString &text, aptui::MultiStateLineEdit *field, QLabel *hintLabel)
{
    RecoveryUi::Hint hint;
    hint.dialog = this;
    hint.kind = RecoveryUi::KindError;
    hint.text = text;
    hint.field = field;
    hint.hintLabel = hintLabel;
    RecoveryUi::showHint(hint);
}

} // namespace VoskTool
