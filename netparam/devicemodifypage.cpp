#include "netparam/devicemodifypage.h"

#include "aptui/cchasedialog.h"
#include "aptui/guitextcodec.h"
#include "aptui/multistatelineedit.h"
#include "aptui/newpasswordrows.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "netparam/deviceactivepage.h"
#include "netparam/devicemodifyresultpage.h"
#include "netparam/devicenetparapage.h"
#include "netparam/netparamlog.h"
#include "netparam/panefocus.h"
#include "netparam/rules/netparamrules.h"
#include "netparam/rules/passwordpolicy.h"
#include "operations/changeconfirmer.h"
#include "operations/onvifdeviceoperations.h"
#include "operations/onvifdevices.h"
#include "aptui/identityquestion.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace VoskTool {

namespace {

// Wide enough for a global IPv6 address in its field, and narrow enough
// that the window still fits a 1024-pixel-wide screen.
constexpr int kPaneWidth = 400;
constexpr int kPasswordLength = 16;
const char kLoadingAnimation[] = ":/CommonSkin/Loading/Images/Public/Control/Loading/Loading.gif";

aptui::MultiStateLineEdit *makePasswordEdit(QWidget *parent, const char *name)
{
    auto *edit = new aptui::MultiStateLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setEchoMode(QLineEdit::Password);
    edit->setMaxLength(kPasswordLength);
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    return edit;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text = QString())
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

// The password policy in words, under the new-password rows: read before
// anyone presses a button, rather than only in a refusal.
QLabel *makeRule(QWidget *parent)
{
    auto *rule = new QLabel(parent);
    rule->setObjectName(QStringLiteral("m_labelPasswordRule"));
    rule->setWordWrap(true);
    return rule;
}

QLabel *makeHint(QWidget *parent, const char *name)
{
    QLabel *hint = makeLabel(parent, name);
    hint->setFixedSize(16, 16);
    return hint;
}

} // namespace

DeviceModifyPage::DeviceModifyPage(QWidget *parent)
    : QWidget(parent)
    , m_runner(new OperationRunner(this))
    , m_confirmer(new ChangeConfirmer(this))
    , m_confirmWaitMs(ChangeConfirmer::kDefaultWaitMs)
{
    setObjectName(QStringLiteral("DeviceModifyPage"));
    setFixedWidth(kPaneWidth);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_widgetModifyPage = new QWidget(this);
    m_widgetModifyPage->setObjectName(QStringLiteral("m_widgetModifyPage"));
    auto *pageLayout = new QVBoxLayout(m_widgetModifyPage);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    m_stackedWidget = new QStackedWidget(m_widgetModifyPage);
    m_stackedWidget->setObjectName(QStringLiteral("m_stackedWidget"));
    m_netParaPage = new DeviceNetParaPage(m_stackedWidget);
    m_activePage = new DeviceActivePage(m_stackedWidget);
    m_stackedWidget->addWidget(m_netParaPage);
    m_stackedWidget->addWidget(m_activePage);
    pageLayout->addWidget(m_stackedWidget);
    layout->addWidget(m_widgetModifyPage);

    buildActiveFrame();
    buildModifyFrame();
    // What the pane cannot do for the ONVIF devices checked, and why.
    m_labelOnvifNote = new QLabel(this);
    m_labelOnvifNote->setObjectName(QStringLiteral("m_labelOnvifNote"));
    m_labelOnvifNote->setWordWrap(true);
    m_labelOnvifNote->setContentsMargins(16, 4, 16, 4);
    m_labelOnvifNote->hide();
    layout->addWidget(m_labelOnvifNote);
    buildChangePasswordFrame();
    layout->addWidget(m_frameActive);
    layout->addWidget(m_frameModifyPara);
    layout->addWidget(m_frameChangePassword);
    layout->addStretch(1);

    m_netParaPage->setMessenger([this](const PaneMessage &msg) {
        message(msg.kind, msg.text, msg.field, msg.hint, msg.tall);
    });

    connect(m_btnLostPassword, &QPushButton::clicked, this, &DeviceModifyPage::onForgetPassword);
    connect(m_btnModify, &QPushButton::clicked, this, &DeviceModifyPage::onModifyNetParas);
    connect(m_lineEditNewPassword, &QLineEdit::textChanged, this, &DeviceModifyPage::onNewPasswordTextChanged);
    connect(m_btnActive, &QPushButton::clicked, this, &DeviceModifyPage::onActiveDevices);
    connect(m_btnShowChangePassword, &QPushButton::clicked, this, &DeviceModifyPage::onShowChangePassword);
    connect(m_btnBackToModify, &QPushButton::clicked, this, &DeviceModifyPage::onHideChangePassword);
    connect(m_btnChangePassword, &QPushButton::clicked, this, &DeviceModifyPage::onChangePassword);
    connect(m_changeRows->newPassword(), &QLineEdit::textChanged, m_changeRows, &NewPasswordRows::showStrength);
    connect(m_netParaPage, &DeviceNetParaPage::signalDhcpStateChanged, this, &DeviceModifyPage::onDhcpStateChanged);
    connect(m_netParaPage, &DeviceNetParaPage::signalBatchDhcpStateChanged, this,
            &DeviceModifyPage::onBatchDhcpStateChanged);

    // Enter on a focused button presses it, as Space does (a push button
    // outside a dialog takes Enter only when it is an auto-default one).
    for (QPushButton *button : {m_btnModify, m_btnActive, m_btnChangePassword})
        button->setAutoDefault(true);

    applyPasswordTargets();
    enterNothingSelected();
}

DeviceModifyPage::~DeviceModifyPage() = default;

void DeviceModifyPage::buildActiveFrame()
{
    m_frameActive = new QFrame(this);
    m_frameActive->setObjectName(QStringLiteral("m_frameActive"));
    auto *grid = new QGridLayout(m_frameActive);
    grid->setContentsMargins(16, 8, 16, 16);
    grid->setVerticalSpacing(10);

    // The rows of the reset dialogs; the confirmation caption keeps the
    // name the style sheet knows for this form.
    m_passwordRows = new NewPasswordRows(m_frameActive, "m_labelConfirmPasswoed");
    m_passwordRows->addTo(grid, 0, 0);
    m_lineEditNewPassword = m_passwordRows->newPassword();
    m_labelHintNewPassword = m_passwordRows->newPasswordHint();
    m_lineEditConfirmPassword = m_passwordRows->confirmPassword();
    m_labelHintConfirmPassword = m_passwordRows->confirmPasswordHint();

    m_labelActiveRule = makeRule(m_frameActive);
    grid->addWidget(m_labelActiveRule, 3, 1, 1, 2);
    m_btnActive = new QPushButton(tr("Active"), m_frameActive);
    m_btnActive->setObjectName(QStringLiteral("m_btnActive"));
    grid->addWidget(m_btnActive, 4, 0, 1, 3);

    for (QWidget *edit : {static_cast<QWidget *>(m_lineEditNewPassword), static_cast<QWidget *>(m_lineEditConfirmPassword)})
        edit->installEventFilter(this);
}

void DeviceModifyPage::buildModifyFrame()
{
    m_frameModifyPara = new QFrame(this);
    m_frameModifyPara->setObjectName(QStringLiteral("m_frameModifyPara"));
    auto *grid = new QGridLayout(m_frameModifyPara);
    grid->setContentsMargins(16, 8, 16, 16);
    grid->setVerticalSpacing(10);
    m_lineEditAdminPassword = makePasswordEdit(m_frameModifyPara, "m_lineEditAdminPassword");
    m_labelHintAdimaPassword = makeHint(m_frameModifyPara, "m_labelHintAdimaPassword");
    grid->addWidget(makeLabel(m_frameModifyPara, "m_labelAdminPassword", tr("Admin Password:")), 0, 0);
    grid->addWidget(m_lineEditAdminPassword, 0, 1);
    grid->addWidget(m_labelHintAdimaPassword, 0, 2);

    auto *buttons = new QHBoxLayout;
    m_btnModify = new QPushButton(tr("Modify"), m_frameModifyPara);
    m_btnModify->setObjectName(QStringLiteral("m_btnModify"));
    m_btnLostPassword = new QPushButton(tr("Forget Password"), m_frameModifyPara);
    m_btnLostPassword->setObjectName(QStringLiteral("m_btnLostPassword"));
    m_btnLostPassword->setFlat(true);
    m_btnShowChangePassword = new QPushButton(tr("Change Password"), m_frameModifyPara);
    m_btnShowChangePassword->setObjectName(QStringLiteral("m_btnShowChangePassword"));
    m_btnShowChangePassword->setFlat(true);
    buttons->addWidget(m_btnModify, 1);
    buttons->addWidget(m_btnShowChangePassword);
    buttons->addWidget(m_btnLostPassword);
    grid->addLayout(buttons, 1, 0, 1, 3);
    m_lineEditAdminPassword->installEventFilter(this);
}

void DeviceModifyPage::buildChangePasswordFrame()
{
    m_frameChangePassword = new QFrame(this);
    m_frameChangePassword->setObjectName(QStringLiteral("m_frameChangePassword"));
    auto *grid = new QGridLayout(m_frameChangePassword);
    grid->setContentsMargins(16, 8, 16, 16);
    grid->setVerticalSpacing(10);
    m_lineEditOldPassword = makePasswordEdit(m_frameChangePassword, "m_lineEditOldPassword");
    m_labelHintOldPassword = makeHint(m_frameChangePassword, "m_labelHintOldPassword");
    grid->addWidget(makeLabel(m_frameChangePassword, "m_labelOldPassword", tr("Old Password:")), 0, 0);
    grid->addWidget(m_lineEditOldPassword, 0, 1);
    grid->addWidget(m_labelHintOldPassword, 0, 2);
    // The rows of the activation form; their widgets keep the names the
    // style sheet knows, inside this frame.
    m_changeRows = new NewPasswordRows(m_frameChangePassword, "m_labelConfirmNewPassword");
    const int rule = m_changeRows->addTo(grid, 1, 0);
    m_labelChangeRule = makeRule(m_frameChangePassword);
    grid->addWidget(m_labelChangeRule, rule, 1, 1, 2);
    const int next = rule + 1;

    auto *buttons = new QHBoxLayout;
    m_btnChangePassword = new QPushButton(tr("Confirm"), m_frameChangePassword);
    m_btnChangePassword->setObjectName(QStringLiteral("m_btnChangePassword"));
    m_btnBackToModify = new QPushButton(tr("Back"), m_frameChangePassword);
    m_btnBackToModify->setObjectName(QStringLiteral("m_btnBackToModify"));
    m_btnBackToModify->setFlat(true);
    buttons->addWidget(m_btnChangePassword, 1);
    buttons->addWidget(m_btnBackToModify);
    grid->addLayout(buttons, next, 0, 1, 3);
    for (QWidget *edit : {static_cast<QWidget *>(m_lineEditOldPassword), static_cast<QWidget *>(m_changeRows->newPassword()),
                          static_cast<QWidget *>(m_changeRows->confirmPassword())})
        edit->installEventFilter(this);
    m_frameChangePassword->hide();
}

void DeviceModifyPage::setMessenger(PaneMessenger messenger)
{
    m_messenger = std::move(messenger);
}

void DeviceModifyPage::setDialogRunner(DialogRunner runner)
{
    m_dialogRunner = std::move(runner);
}

void DeviceModifyPage::setRowIdReader(RowIdReader reader)
{
    m_rowIdReader = std::move(reader);
}

void DeviceModifyPage::setMaxInFlight(int count)
{
    m_maxInFlightSetting = count >= 1 && count <= OperationRunner::kMaxInFlight ? count
                                                                                : OperationRunner::kDefaultInFlight;
}

int DeviceModifyPage::maxInFlight() const
{
    return m_maxInFlightSetting;
}

QPoint DeviceModifyPage::hintPosition() const
{
    const QPoint topLeft = parentWidget() ? parentWidget()->mapToGlobal(pos()) : mapToGlobal(QPoint(0, 0));
    return topLeft + QPoint(width() / 2 - 155, height() / 2 - 60);
}

QPushButton *DeviceModifyPage::confirmButtonOf(QObject *field) const
{
    if (field == m_lineEditAdminPassword)
        return m_btnModify;
    if (field == m_lineEditNewPassword || field == m_lineEditConfirmPassword)
        return m_btnActive;
    if (field == m_lineEditOldPassword || field == m_changeRows->newPassword()
        || field == m_changeRows->confirmPassword())
        return m_btnChangePassword;
    return nullptr;
}

bool DeviceModifyPage::eventFilter(QObject *target, QEvent *qevent)
{
    if (qevent->type() == QEvent::KeyPress) {
        // Enter (either key) in a password field confirms its form, as its
        // button would; a button that is off (busy, nothing to send) stays off.
        const int key = static_cast<QKeyEvent *>(qevent)->key();
        QPushButton *button = (key == Qt::Key_Return || key == Qt::Key_Enter) ? confirmButtonOf(target) : nullptr;
        if (button) {
            if (button->isEnabled() && button->isVisibleTo(this))
                button->click();
            return true;
        }
    }
    if (m_changeRows->filter(target, qevent))
        return true;
    struct Field
    {
        aptui::MultiStateLineEdit *edit;
        QLabel *hint;
    };
    const Field fields[] = {{m_lineEditAdminPassword, m_labelHintAdimaPassword},
                            {m_lineEditNewPassword, m_labelHintNewPassword},
                            {m_lineEditConfirmPassword, m_labelHintConfirmPassword},
                            {m_lineEditOldPassword, m_labelHintOldPassword}};
    for (const Field &field : fields) {
        if (target != field.edit)
            continue;
        if (qevent->type() == QEvent::KeyPress) {
            // A password is typed, never carried through the clipboard.
            auto *key = static_cast<QKeyEvent *>(qevent);
            if (key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Copy)
                || key->matches(QKeySequence::Cut))
                return true;
        } else if (qevent->type() == QEvent::MouseButtonPress) {
            field.hint->clear();
            field.edit->setLineEditState(aptui::MultiStateLineEdit::NORMAL);
        }
        break;
    }
    return QWidget::eventFilter(target, qevent);
}

void DeviceModifyPage::clearPasswordMarks()
{
    for (aptui::MultiStateLineEdit *edit : {m_lineEditAdminPassword, m_lineEditNewPassword, m_lineEditConfirmPassword,
                                            m_lineEditOldPassword})
        edit->setLineEditState(aptui::MultiStateLineEdit::NORMAL);
    for (QLabel *hint : {m_labelHintAdimaPassword, m_labelHintNewPassword, m_labelHintConfirmPassword,
                         m_labelHintOldPassword})
        hint->clear();
    m_changeRows->clearMarks();
}

void DeviceModifyPage::leaveChangePassword()
{
    // The typed passwords go with the form: a change of selection, or a
    // password changed, leaves none of them behind.
    m_lineEditOldPassword->clear();
    m_changeRows->clear();
    m_frameChangePassword->hide();
}

void DeviceModifyPage::onShowChangePassword()
{
    if (m_selection.isEmpty()) {
        message(MessageError, tr("Please select a device."));
        return;
    }
    m_frameModifyPara->hide();
    m_lineEditOldPassword->clear();
    m_changeRows->clear();
    clearPasswordMarks();
    m_frameChangePassword->show();
    m_lineEditOldPassword->setFocus();
}

void DeviceModifyPage::onHideChangePassword()
{
    leaveChangePassword();
    clearPasswordMarks();
    m_frameModifyPara->show();
}

void DeviceModifyPage::enterNothingSelected()
{
    m_stackedWidget->setCurrentIndex(0);
    m_frameActive->hide();
    leaveChangePassword();
    m_btnShowChangePassword->setEnabled(false);
    m_frameModifyPara->show();
    m_netParaPage->showSingleForm();
    m_netParaPage->fillSingle(QString(), QString(), false);
    m_lineEditAdminPassword->clear();
    m_btnLostPassword->show();
    focusInPane(m_btnModify);
    m_btnModify->setEnabled(false);
    m_lineEditAdminPassword->setEnabled(false);
    m_btnLostPassword->setEnabled(false);
    m_labelOnvifNote->hide();
    clearPasswordMarks();
}

void DeviceModifyPage::enterModify(bool batch)
{
    m_stackedWidget->setCurrentIndex(0);
    m_frameActive->hide();
    leaveChangePassword();
    m_frameModifyPara->show();
    m_btnShowChangePassword->setEnabled(true);
    if (batch)
        m_netParaPage->showBatchForm();
    else
        m_netParaPage->showSingleForm();
    m_lineEditAdminPassword->clear();
    m_btnLostPassword->setVisible(!batch);
    m_btnModify->setEnabled(true);
    m_lineEditAdminPassword->setEnabled(true);
    m_btnLostPassword->setEnabled(true);
    if (!batch)
        focusInPane(m_btnModify);
    clearPasswordMarks();
}

void DeviceModifyPage::enterActivation(bool batch)
{
    m_stackedWidget->setCurrentIndex(1);
    // Emptying the new password resets the meter.
    m_passwordRows->clear();
    leaveChangePassword();
    m_frameActive->show();
    m_frameModifyPara->hide();
    clearPasswordMarks();
    if (batch)
        m_activePage->showBatchInactive();
    else
        m_activePage->showSingleInactive();
    int inClear = 0;
    for (const DeviceInfo &device : std::as_const(m_selection)) {
        if (!device.endpointId.isEmpty() && OnvifDeviceOperations::activatesInClear(device.key()))
            ++inClear;
    }
    m_activePage->showClearTextNotice(inClear, batch);
}

void DeviceModifyPage::enterMakersActivation()
{
    m_stackedWidget->setCurrentIndex(1);
    m_frameActive->hide();
    m_frameModifyPara->hide();
    m_activePage->showMakersActivation();
}

DeviceModifyPage::OnvifSelection DeviceModifyPage::onvifSelection() const
{
    OnvifSelection found;
    DeviceStore *store = DeviceStore::instance();
    for (const DeviceInfo &device : m_selection) {
        if (device.endpointId.isEmpty())
            continue;
        ++found.onvif;
        VOSK_DEVICE_INFO record;
        std::memset(&record, 0, sizeof record);
        store->getDevice(device.key(), record);
        const quint8 flags = VOSK::onvifFlags(record);
        if (!(flags & VOSK::OnvifSignedIn))
            ++found.notSignedIn;
        if (flags & VOSK::OnvifMakersActivation)
            ++found.makersActivation;
    }
    return found;
}

void DeviceModifyPage::showOnvifNote(bool batch)
{
    const OnvifSelection onvif = onvifSelection();
    QStringList lines;
    if (onvif.onvif > 0 && !batch) {
        // Recovery by device key is our protocol's; the standard has none.
        m_btnLostPassword->hide();
        lines << tr("Password recovery is not part of ONVIF: reset this device's password with its maker's own means.");
    }
    if (onvif.notSignedIn > 0) {
        lines << (batch ? tr("%n checked ONVIF device(s) are not signed in yet: sign in to them first (\"Sign in\" "
                             "above the table).", nullptr, onvif.notSignedIn)
                        : tr("Sign in to this ONVIF device first (\"Sign in\" above the table) to change its "
                             "network parameters."));
        m_btnModify->setEnabled(false);
    }
    m_labelOnvifNote->setText(lines.join(QLatin1Char('\n')));
    m_labelOnvifNote->setVisible(!lines.isEmpty());
}

void DeviceModifyPage::enterMixed()
{
    m_stackedWidget->setCurrentIndex(1);
    m_frameActive->hide();
    m_frameModifyPara->hide();
    leaveChangePassword();
    m_activePage->showMixedSelection();
}

bool DeviceModifyPage::sameDevices(ModifyPage type, const QVector<DeviceInfo> &devices) const
{
    if (type != m_pageType || devices.size() != m_selection.size() || devices.isEmpty())
        return false;
    for (int i = 0; i < devices.size(); ++i) {
        if (!(devices.at(i).key() == m_selection.at(i).key()))
            return false;
    }
    return true;
}

void DeviceModifyPage::refreshSameDevices(const QVector<DeviceInfo> &devices)
{
    // The devices the pane shows reported something new (a sign-in, new
    // values, an activation seen elsewhere): what the pane allows and says
    // follows, while what the user typed stays, passwords included.
    m_selection = devices;
    applyPasswordTargets();
    if (m_pageType == ModifySingle || m_pageType == ModifyBatch) {
        const bool batch = m_pageType == ModifyBatch;
        if (!m_netParaPage->isEdited()) {
            m_netParaPage->enableAllFields();
            if (batch)
                m_netParaPage->fillBatch(m_selection);
            else
                m_netParaPage->fillSingle(m_selection.first().key(), false);
        }
        m_btnModify->setEnabled(true);
        m_btnLostPassword->setVisible(!batch);
        showOnvifNote(batch);
    } else if (m_pageType == ActivateSingle || m_pageType == ActivateBatch) {
        if (onvifSelection().makersActivation == int(m_selection.size()))
            enterMakersActivation();
    }
    setBusy(m_busy);
}

void DeviceModifyPage::onCurrentSelectionChange(VoskTool::ModifyPage modifyPageType, QVector<DeviceInfo> struDeviceInfo)
{
    if (sameDevices(modifyPageType, struDeviceInfo)) {
        refreshSameDevices(struDeviceInfo);
        return;
    }
    m_pageType = modifyPageType;
    if (struDeviceInfo.isEmpty()) {
        m_selection = struDeviceInfo;
        enterNothingSelected();
        setBusy(m_busy);
        return;
    }
    m_netParaPage->enableAllFields();
    m_labelOnvifNote->hide();
    m_selection = struDeviceInfo;
    applyPasswordTargets();
    switch (modifyPageType) {
    case ModifySingle:
        m_selection = struDeviceInfo;
        enterModify(false);
        m_netParaPage->fillSingle(m_selection.first().key(), false);
        showOnvifNote(false);
        break;
    case ModifyBatch:
        m_selection = struDeviceInfo;
        enterModify(true);
        m_netParaPage->fillBatch(m_selection);
        showOnvifNote(true);
        break;
    case ActivateSingle:
    case ActivateBatch:
        m_selection = struDeviceInfo;
        // Devices whose maker's own tool must activate them: nothing the
        // standard's activation could do for them.
        if (onvifSelection().makersActivation == int(m_selection.size()))
            enterMakersActivation();
        else
            enterActivation(modifyPageType == ActivateBatch);
        break;
    case ModifyMixed:
        m_selection = struDeviceInfo;
        enterMixed();
        break;
    }
    // A one-device operation still under way keeps the buttons off,
    // whatever the new state enabled.
    setBusy(m_busy);
}

void DeviceModifyPage::onDhcpStateChanged(int iState)
{
    if (m_selection.isEmpty())
        return;
    if (iState == Qt::Checked)
        m_netParaPage->applyDhcpOn();
    else
        m_netParaPage->fillSingle(m_selection.first().key(), true);
}

void DeviceModifyPage::onBatchDhcpStateChanged(int iState)
{
    m_netParaPage->setBatchAddressFieldsEnabled(iState != Qt::Checked);
}

void DeviceModifyPage::onNewPasswordTextChanged(const QString &strNewPassword)
{
    m_passwordRows->showStrength(strNewPassword);
}

void DeviceModifyPage::message(int kind, const QString &text, aptui::MultiStateLineEdit *field, QLabel *hint,
                               bool tall)
{
    if (!m_messenger) {
        qCInfo(lcNetParam) << "[DeviceModifyPage]" << text;
        return;
    }
    PaneMessage msg;
    msg.kind = kind;
    msg.text = text;
    msg.position = hintPosition();
    msg.field = field;
    msg.hint = hint;
    msg.tall = tall;
    m_messenger(msg);
}

PasswordTargets DeviceModifyPage::passwordTargets() const
{
    PasswordTargets targets;
    targets.local = false;
    for (const DeviceInfo &device : m_selection) {
        if (device.endpointId.isEmpty())
            targets.local = true;
        else
            targets.utf8MaxCharacters = OnvifCredentials::kMaxPasswordLength;
    }
    if (m_selection.isEmpty())
        targets.local = true;
    return targets;
}

void DeviceModifyPage::applyPasswordTargets()
{
    const PasswordTargets targets = passwordTargets();
    // The longest any device of the selection takes: a longer password
    // for ONVIF rows must not be cut short by our protocol's 16 bytes.
    // Where both kinds are checked, the check below refuses what ours
    // cannot take, with a message instead of a silent cut.
    const int length = std::max(targets.local ? kPasswordLength : 0, targets.utf8MaxCharacters);
    m_lineEditAdminPassword->setMaxLength(length);
    m_lineEditOldPassword->setMaxLength(length);
    m_passwordRows->setTargets(targets);
    m_changeRows->setTargets(targets);
    m_labelActiveRule->setText(m_passwordRows->ruleText(NewPasswordRows::Wording::Activation));
    m_labelChangeRule->setText(m_changeRows->ruleText(NewPasswordRows::Wording::Activation));
}

bool DeviceModifyPage::passwordBytes(aptui::MultiStateLineEdit *field, QLabel *hint, PasswordBytes *bytes)
{
    const PasswordTargets targets = passwordTargets();
    const QString text = field->text();
    PasswordEncoding encoding = PasswordEncoding::Ok;
    if (targets.local)
        encoding = encodePassword(text, TarnGUIToolkit::GuiTextCodec(), &bytes->local);
    // ONVIF devices take the standard's UTF-8, whatever the interface's
    // conversion: the same text then matches on the device.
    if (encoding == PasswordEncoding::Ok && targets.utf8MaxCharacters > 0)
        encoding = encodeUtf8Password(text, targets.utf8MaxCharacters, &bytes->utf8);
    switch (encoding) {
    case PasswordEncoding::Ok:
        return true;
    case PasswordEncoding::NotRepresentable:
        message(MessageError,
                tr("The password contains a character that cannot be sent to the device. Please use other characters."),
                field, hint, true);
        break;
    case PasswordEncoding::TooLong:
        if (targets.local)
            message(MessageError, tr("The password is too long: the device takes at most 16 bytes."), field, hint);
        else
            message(MessageError, tr("The password is too long: ONVIF devices take at most %1 characters.")
                                      .arg(targets.utf8MaxCharacters), field, hint);
        break;
    }
    bytes->wipe();
    return false;
}

void DeviceModifyPage::onModifyNetParas()
{
    const QPoint position = hintPosition();
    if (m_selection.isEmpty()) {
        message(MessageError, tr("Sorry, please select the equipment."));
        return;
    }
    if (m_lineEditAdminPassword->text().isEmpty()) {
        message(MessageError, tr("Sorry, please enter the administrator password."), m_lineEditAdminPassword,
                m_labelHintAdimaPassword);
        return;
    }
    if (const int notSignedIn = onvifSelection().notSignedIn; notSignedIn > 0) {
        // Their mask, gateway and DHCP state are unknown until then: a
        // change built on zeros would wipe them on the device.
        message(MessageError, tr("%n checked ONVIF device(s) are not signed in yet. Please sign in to them first.",
                                 nullptr, notSignedIn), nullptr, nullptr, true);
        return;
    }
    if (m_selection.size() == 1) {
        if (m_netParaPage->checkSingleForm(position))
            modifySingle();
    } else if (m_netParaPage->checkBatchForm(position)) {
        modifyBatch();
    }
}

void DeviceModifyPage::onActiveDevices()
{
    if (m_selection.isEmpty()) {
        message(MessageError, tr("Please select a device."));
        return;
    }
    QByteArray password;
    const bool accepted = m_passwordRows->check(NewPasswordRows::Wording::Activation,
                                                [this](const QString &text, bool tall) {
                                                    message(MessageError, text, m_lineEditNewPassword,
                                                            m_labelHintNewPassword, tall);
                                                },
                                                &password);
    if (!accepted)
        return;
    if (m_selection.size() == 1)
        activateSingle();
    else
        activateBatch();
}

void DeviceModifyPage::onForgetPassword()
{
    if (m_selection.isEmpty()) {
        message(MessageError, tr("Please select a device."));
        return;
    }
    const DeviceInfo device = m_selection.first();
    if (!device.endpointId.isEmpty()) {
        message(MessageError, tr("Password recovery is not part of ONVIF: reset this device's password with its "
                                 "maker's own means."), nullptr, nullptr, true);
        return;
    }
    if (!IdentityQuestion::confirm(window(), {device.key()}))
        return;
    Q_EMIT signalForgetPasswordRequested(device);
}

} // namespace VoskTool
