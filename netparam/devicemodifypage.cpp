#include "netparam/devicemodifypage.h"

#include "aptui/cchasedialog.h"
#include "aptui/guitextcodec.h"
#include "aptui/multistatelineedit.h"
#include "aptui/passwordstrengthmeter.h"
#include "discovery/devicestore.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "netparam/deviceactivepage.h"
#include "netparam/devicemodifyresultpage.h"
#include "netparam/devicenetparapage.h"
#include "netparam/netparamlog.h"
#include "netparam/rules/netparamrules.h"
#include "netparam/rules/passwordpolicy.h"
#include "password/identityquestion.h"
#include "password/recoverydialogs.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <cstring>

namespace VoskTool {

namespace {

constexpr int kPaneWidth = 340;
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

QLabel *makeHint(QWidget *parent, const char *name)
{
    QLabel *hint = makeLabel(parent, name);
    hint->setFixedSize(16, 16);
    return hint;
}

QVector<DeviceKey> keysOf(const QVector<DeviceInfo> &devices)
{
    QVector<DeviceKey> keys;
    keys.reserve(devices.size());
    for (const DeviceInfo &device : devices)
        keys << device.key();
    return keys;
}

} // namespace

DeviceModifyPage::DeviceModifyPage(QWidget *parent)
    : QWidget(parent)
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
    layout->addWidget(m_frameActive);
    layout->addWidget(m_frameModifyPara);
    layout->addStretch(1);

    m_netParaPage->setMessenger([this](const PaneMessage &msg) {
        message(msg.kind, msg.text, msg.field, msg.hint, msg.tall);
    });

    connect(m_btnLostPassword, &QPushButton::clicked, this, &DeviceModifyPage::onForgetPassword);
    connect(m_btnModify, &QPushButton::clicked, this, &DeviceModifyPage::onModifyNetParas);
    connect(m_lineEditNewPassword, &QLineEdit::textChanged, this, &DeviceModifyPage::onNewPasswordTextChanged);
    connect(m_btnActive, &QPushButton::clicked, this, &DeviceModifyPage::onActiveDevices);
    connect(m_netParaPage, &DeviceNetParaPage::signalDhcpStateChanged, this, &DeviceModifyPage::onDhcpStateChanged);
    connect(m_netParaPage, &DeviceNetParaPage::signalBatchDhcpStateChanged, this,
            &DeviceModifyPage::onBatchDhcpStateChanged);

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

    m_lineEditNewPassword = makePasswordEdit(m_frameActive, "m_lineEditNewPassword");
    m_labelHintNewPassword = makeHint(m_frameActive, "m_labelHintNewPassword");
    m_lineEditConfirmPassword = makePasswordEdit(m_frameActive, "m_lineEditConfirmPassword");
    m_labelHintConfirmPassword = makeHint(m_frameActive, "m_labelHintConfirmPassword");
    grid->addWidget(makeLabel(m_frameActive, "m_labelNewPassword", tr("New Password:")), 0, 0);
    grid->addWidget(m_lineEditNewPassword, 0, 1);
    grid->addWidget(m_labelHintNewPassword, 0, 2);

    auto *meterRow = new QHBoxLayout;
    meterRow->setSpacing(2);
    m_labelLevel1 = makeLabel(m_frameActive, "m_labelLevel1");
    m_labelLevel2 = makeLabel(m_frameActive, "m_labelLevel2");
    m_labelLevel3 = makeLabel(m_frameActive, "m_labelLevel3");
    m_labelLevel = makeLabel(m_frameActive, "m_labelLevel");
    m_labelHintLevel = makeLabel(m_frameActive, "m_labelHintLevel");
    for (QLabel *bar : {m_labelLevel1, m_labelLevel2, m_labelLevel3}) {
        bar->setScaledContents(true);
        bar->setFixedSize(36, 6);
        meterRow->addWidget(bar);
    }
    meterRow->addSpacing(6);
    meterRow->addWidget(m_labelLevel, 1);
    meterRow->addWidget(m_labelHintLevel);
    grid->addLayout(meterRow, 1, 1, 1, 2);

    grid->addWidget(makeLabel(m_frameActive, "m_labelConfirmPasswoed", tr("Confirm Password:")), 2, 0);
    grid->addWidget(m_lineEditConfirmPassword, 2, 1);
    grid->addWidget(m_labelHintConfirmPassword, 2, 2);

    m_btnActive = new QPushButton(tr("Active"), m_frameActive);
    m_btnActive->setObjectName(QStringLiteral("m_btnActive"));
    grid->addWidget(m_btnActive, 3, 0, 1, 3);

    m_meter = std::make_unique<aptui::PasswordStrengthMeter>(m_labelLevel1, m_labelLevel2, m_labelLevel3,
                                                              m_labelLevel);
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
    buttons->addWidget(m_btnModify, 1);
    buttons->addWidget(m_btnLostPassword);
    grid->addLayout(buttons, 1, 0, 1, 3);
    m_lineEditAdminPassword->installEventFilter(this);
}

void DeviceModifyPage::setMessenger(PaneMessenger messenger)
{
    m_messenger = std::move(messenger);
}

void DeviceModifyPage::setDialogRunner(DialogRunner runner)
{
    m_dialogRunner = std::move(runner);
}

QPoint DeviceModifyPage::hintPosition() const
{
    const QPoint topLeft = parentWidget() ? parentWidget()->mapToGlobal(pos()) : mapToGlobal(QPoint(0, 0));
    return topLeft + QPoint(width() / 2 - 155, height() / 2 - 60);
}

bool DeviceModifyPage::eventFilter(QObject *target, QEvent *qevent)
{
    struct Field
    {
        aptui::MultiStateLineEdit *edit;
        QLabel *hint;
    };
    const Field fields[] = {{m_lineEditAdminPassword, m_labelHintAdimaPassword},
                            {m_lineEditNewPassword, m_labelHintNewPassword},
                            {m_lineEditConfirmPassword, m_labelHintConfirmPassword}};
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
    for (aptui::MultiStateLineEdit *edit : {m_lineEditAdminPassword, m_lineEditNewPassword, m_lineEditConfirmPassword})
        edit->setLineEditState(aptui::MultiStateLineEdit::NORMAL);
    for (QLabel *hint : {m_labelHintAdimaPassword, m_labelHintNewPassword, m_labelHintConfirmPassword})
        hint->clear();
}

void DeviceModifyPage::enterNothingSelected()
{
    m_stackedWidget->setCurrentIndex(0);
    m_frameActive->hide();
    m_frameModifyPara->show();
    m_netParaPage->showSingleForm();
    m_netParaPage->fillSingle(QString(), QString(), false);
    m_lineEditAdminPassword->clear();
    m_btnLostPassword->show();
    m_btnModify->setFocus();
    m_btnModify->setEnabled(false);
    m_lineEditAdminPassword->setEnabled(false);
    m_btnLostPassword->setEnabled(false);
    clearPasswordMarks();
}

void DeviceModifyPage::enterModify(bool batch)
{
    m_stackedWidget->setCurrentIndex(0);
    m_frameActive->hide();
    m_frameModifyPara->show();
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
        m_btnModify->setFocus();
    clearPasswordMarks();
}

void DeviceModifyPage::enterActivation(bool batch)
{
    m_stackedWidget->setCurrentIndex(1);
    // Emptying the new password resets the meter through textChanged.
    m_lineEditNewPassword->clear();
    m_lineEditConfirmPassword->clear();
    m_frameActive->show();
    m_meter->showStrength(0, QString());
    m_frameModifyPara->hide();
    clearPasswordMarks();
    if (batch)
        m_activePage->showBatchInactive();
    else
        m_activePage->showSingleInactive();
}

void DeviceModifyPage::enterMixed()
{
    m_stackedWidget->setCurrentIndex(1);
    m_frameActive->hide();
    m_frameModifyPara->hide();
    m_activePage->showMixedSelection();
}

void DeviceModifyPage::onCurrentSelectionChange(VoskTool::ModifyPage modifyPageType, QVector<DeviceInfo> struDeviceInfo)
{
    if (struDeviceInfo.isEmpty()) {
        m_selection = struDeviceInfo;
        enterNothingSelected();
        return;
    }
    m_netParaPage->enableAllFields();
    switch (modifyPageType) {
    case ModifySingle:
        m_selection = struDeviceInfo;
        enterModify(false);
        m_netParaPage->fillSingle(m_selection.first().serialNumber, m_selection.first().mac, false);
        break;
    case ModifyBatch:
        m_selection = struDeviceInfo;
        enterModify(true);
        m_netParaPage->fillBatch(m_selection);
        break;
    case ActivateSingle:
    case ActivateBatch:
        m_selection = struDeviceInfo;
        enterActivation(modifyPageType == ActivateBatch);
        break;
    case ModifyMixed:
        m_selection = struDeviceInfo;
        enterMixed();
        break;
    }
}

void DeviceModifyPage::onDhcpStateChanged(int iState)
{
    if (m_selection.isEmpty())
        return;
    if (iState == Qt::Checked)
        m_netParaPage->applyDhcpOn();
    else
        m_netParaPage->fillSingle(m_selection.first().serialNumber, m_selection.first().mac, true);
}

void DeviceModifyPage::onBatchDhcpStateChanged(int iState)
{
    m_netParaPage->setBatchAddressFieldsEnabled(iState != Qt::Checked);
}

void DeviceModifyPage::onNewPasswordTextChanged(const QString &strNewPassword)
{
    const int level = adminPasswordLevel(strNewPassword, TarnGUIToolkit::GuiTextCodec());
    const QString words[] = {QString(), tr("Weak"), tr("Medium"), tr("Strong")};
    m_meter->showStrength(level, words[qBound(0, level, 3)]);
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

bool DeviceModifyPage::passwordBytes(aptui::MultiStateLineEdit *field, QLabel *hint, QByteArray *bytes)
{
    switch (encodePassword(field->text(), TarnGUIToolkit::GuiTextCodec(), bytes)) {
    case PasswordEncoding::Ok:
        return true;
    case PasswordEncoding::NotRepresentable:
        message(MessageError,
                tr("The password contains a character that cannot be sent to the device. Please use other characters."),
                field, hint, true);
        return false;
    case PasswordEncoding::TooLong:
        message(MessageError, tr("The password is too long: the device takes at most 16 bytes."), field, hint);
        return false;
    }
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
    if (m_selection.size() == 1) {
        if (m_netParaPage->checkSingleForm(position))
            modifySingle();
    } else if (m_netParaPage->checkBatchForm(position)) {
        modifyBatch();
    }
}

void DeviceModifyPage::modifySingle()
{
    QByteArray password;
    if (!passwordBytes(m_lineEditAdminPassword, m_labelHintAdimaPassword, &password))
        return;
    VOSK_NET_PARAM param = m_netParaPage->collectNetParam();
    DeviceInfo &device = m_selection.first();
    if (!IdentityQuestion::confirm(window(), {device.key()}))
        return;
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    if (handler->modifyDeviceNetParam(device.key(), password, &param)) {
        {
            DeviceStore::Locker locker(DeviceStore::instance());
            DeviceStore::instance()->setNetParam(device.serialNumber, device.mac, param);
        }
        device.result = tr("Succeed");
        Q_EMIT signalModifyResult(m_selection);
        message(MessageSuccess, tr("Modify network parameters succeed."));
        return;
    }
    reportSingleFailure(device, "modification");
}

// A one-device operation failed: the library's last error, worded for the
// bubble; only an error without words of its own goes into the result.
void DeviceModifyPage::reportSingleFailure(DeviceInfo &device, const char *operation)
{
    const int error = VOSK::VoskHandler::instance()->getLastError();
    qCInfo(lcNetParam) << "[DeviceModifyPage]" << operation << "failed, error" << error;
    if (error == VOSK_ERR_DEVICE_DENY) {
        message(MessageError, tr("Device deny."));
    } else if (error == VOSK_ERR_TIMEOUT) {
        message(MessageError, tr("Time out."));
    } else {
        device.result = tr("Error%1:others").arg(error);
        message(MessageError, device.result);
    }
}

void DeviceModifyPage::modifyBatch()
{
    QByteArray password;
    if (!passwordBytes(m_lineEditAdminPassword, m_labelHintAdimaPassword, &password))
        return;
    const DeviceNetParaPage::BatchValues values = m_netParaPage->batchValues();
    const bool isStatic = m_netParaPage->isBatchStatic();
    // Without a start address to count from (a batch of devices whose address
    // the form cannot set) every device keeps its stored address.
    const bool newAddresses = isStatic && values.startIpEnabled;
    if (newAddresses && !m_netParaPage->checkBatchRoom(hintPosition(), int(m_selection.size())))
        return;

    // The selection may be replaced while the batch runs (a device going
    // offline re-evaluates the table's check boxes): work on this copy.
    QVector<DeviceInfo> devices = m_selection;
    if (!IdentityQuestion::confirm(window(), keysOf(devices)))
        return;
    DeviceStore *store = DeviceStore::instance();
    QVector<BatchWorker::Job> jobs(devices.size());
    for (int i = 0; i < devices.size(); ++i) {
        BatchWorker::Job &job = jobs[i];
        std::memset(&job.param, 0, sizeof job.param);
        store->getNetParam(devices[i].serialNumber, devices[i].mac, job.param);
        job.target = devices[i].key();
        VOSK_NET_PARAM &param = job.param;
        if (newAddresses) {
            VOSK::setFieldText(param.ipv4Address, nextAddress(values.startIp, i));
            if (values.subnetMaskEnabled)
                VOSK::setFieldText(param.ipv4Mask, values.subnetMask);
            if (values.gatewayEnabled)
                VOSK::setFieldText(param.ipv4Gateway, values.gateway);
        }
        if (values.port != 0)
            param.port = quint16(values.port);
        if (values.httpPort != 0)
            param.httpPort = quint16(values.httpPort);
        param.dhcpEnabled = isStatic ? 0 : 1;
    }

    const QVector<BatchWorker::Outcome> outcomes = runBatch(BatchWorker::Kind::Modify, password, jobs);
    for (int i = 0; i < devices.size(); ++i) {
        DeviceInfo &device = devices[i];
        const BatchWorker::Outcome &outcome = outcomes.at(i);
        if (outcome.ok) {
            device.result = tr("Succeed");
            if (newAddresses)
                device.ipv4Address = VOSK::fieldText(jobs[i].param.ipv4Address);
            DeviceStore::Locker locker(store);
            store->setNetParam(device.serialNumber, device.mac, jobs[i].param);
        } else if (outcome.error == VOSK_ERR_DEVICE_DENY) {
            device.result = tr("Error%1:device deny").arg(outcome.error);
        } else if (outcome.error == VOSK_ERR_TIMEOUT) {
            device.result = tr("Error%1:time out").arg(outcome.error);
        } else {
            device.result = tr("Error%1:others").arg(outcome.error);
        }
    }
    if (m_selection.size() == devices.size()) {
        bool same = true;
        for (int i = 0; same && i < devices.size(); ++i)
            same = m_selection[i].serialNumber == devices[i].serialNumber && m_selection[i].mac == devices[i].mac;
        if (same)
            m_selection = devices;
    }
    Q_EMIT signalModifyResult(devices);
    showResults(devices, false);
}

void DeviceModifyPage::onActiveDevices()
{
    if (m_selection.isEmpty()) {
        message(MessageError, tr("Please select a device."));
        return;
    }
    QString text;
    bool tall = false;
    switch (checkNewPassword(m_lineEditNewPassword->text(), m_lineEditConfirmPassword->text(),
                             TarnGUIToolkit::GuiTextCodec())) {
    case NewPasswordCheck::Accepted:
        break;
    case NewPasswordCheck::Empty:
        text = tr("The password can not be empty.");
        break;
    case NewPasswordCheck::Mismatch:
        text = tr("The password you typed do not match.");
        break;
    case NewPasswordCheck::NotRepresentable:
        text = tr("The password contains a character that cannot be sent to the device. Please use other characters.");
        tall = true;
        break;
    case NewPasswordCheck::TooLong:
        text = tr("The password is too long: the device takes at most 16 bytes.");
        break;
    case NewPasswordCheck::TooWeak:
        text = tr("Valid password range [8-16]. You can use a combination of numbers,lowercase, uppercase and "
                  "special character for your password with at least two kinds of them contained.");
        tall = true;
        break;
    }
    if (!text.isEmpty()) {
        message(MessageError, text, m_lineEditNewPassword, m_labelHintNewPassword, tall);
        return;
    }
    if (m_selection.size() == 1)
        activateSingle();
    else
        activateBatch();
}

void DeviceModifyPage::activateSingle()
{
    QByteArray password;
    if (!passwordBytes(m_lineEditNewPassword, m_labelHintNewPassword, &password))
        return;
    DeviceInfo &device = m_selection.first();
    if (!IdentityQuestion::confirm(window(), {device.key()}))
        return;
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    if (handler->activateDevice(device.key(), password)) {
        {
            DeviceStore::Locker locker(DeviceStore::instance());
            DeviceStore::instance()->setActivated(device.serialNumber, device.mac, 0);
        }
        device.result = tr("Succeed");
        // The table sends the selection again: the pane moves on to the
        // modification form before the bubble shows.
        Q_EMIT signalActiveResult(m_selection);
        message(MessageSuccess, tr("Activate Succeed."));
        return;
    }
    reportSingleFailure(device, "activation");
}

void DeviceModifyPage::activateBatch()
{
    QByteArray password;
    if (!passwordBytes(m_lineEditNewPassword, m_labelHintNewPassword, &password))
        return;
    QVector<DeviceInfo> devices = m_selection;
    if (!IdentityQuestion::confirm(window(), keysOf(devices)))
        return;
    QVector<BatchWorker::Job> jobs(devices.size());
    for (int i = 0; i < devices.size(); ++i) {
        std::memset(&jobs[i].param, 0, sizeof jobs[i].param);
        jobs[i].target = devices[i].key();
    }
    const QVector<BatchWorker::Outcome> outcomes = runBatch(BatchWorker::Kind::Activate, password, jobs);
    DeviceStore *store = DeviceStore::instance();
    for (int i = 0; i < devices.size(); ++i) {
        DeviceInfo &device = devices[i];
        const BatchWorker::Outcome &outcome = outcomes.at(i);
        if (outcome.ok) {
            device.result = tr("Succeed");
            DeviceStore::Locker locker(store);
            store->setActivated(device.serialNumber, device.mac, 0);
        } else if (outcome.error == VOSK_ERR_DEVICE_DENY) {
            device.result = tr("Error%1:Device deny.").arg(outcome.error);
        } else if (outcome.error == VOSK_ERR_REACTIVE) {
            device.result = tr("Error%1:reactive").arg(outcome.error);
        } else {
            device.result = tr("Error%1:others").arg(outcome.error);
        }
    }
    m_selection = devices;
    // The table sends the selection again, which replaces m_selection.
    Q_EMIT signalActiveResult(devices);
    showResults(devices, true);
}

QVector<BatchWorker::Outcome> DeviceModifyPage::runBatch(BatchWorker::Kind kind, const QByteArray &password,
                                                         const QVector<BatchWorker::Job> &jobs)
{
    const int total = int(jobs.size());
    auto progressText = [](int done, int all) { return QStringLiteral("%1 / %2").arg(done).arg(all); };
    BatchWorker worker(kind, password, jobs);
    TarnGUIToolkit::CChaseDialog chase(window(), QLatin1String(kLoadingAnimation), progressText(0, total));
    chase.setObjectName(QStringLiteral("BatchChaseDialog"));
    auto *text = chase.findChild<QLabel *>(QStringLiteral("m_labelChaseText"));
    connect(&worker, &BatchWorker::signalProgress, &chase, [text, progressText](int done, int all) {
        if (text)
            text->setText(progressText(done, all));
    });
    connect(&worker, &QThread::finished, &chase, &TarnGUIToolkit::CChaseDialog::OnImmediatelyStopChase);
    qCInfo(lcNetParam) << "[DeviceModifyPage] batch of" << total << "devices";
    Q_EMIT signalCoverMainPage();
    worker.start();
    chase.exec();
    worker.wait();
    Q_EMIT signalDisCoverMainPage();
    return worker.outcomes();
}

void DeviceModifyPage::showResults(const QVector<DeviceInfo> &devices, bool activation)
{
    DeviceModifyResultPage results;
    if (activation) {
        results.setResultColumnTitle(DeviceModifyResultPage::ColumnResult, tr("Activation"));
        results.setTotalLabelText(tr("Batch activate devices"));
        results.setFailedLabelText(tr("Activate fail numbers"));
    }
    results.setResults(devices);
    Q_EMIT signalCoverMainPage();
    if (m_dialogRunner)
        m_dialogRunner(results);
    else
        results.exec();
    Q_EMIT signalDisCoverMainPage();
}

void DeviceModifyPage::onForgetPassword()
{
    if (m_selection.isEmpty()) {
        message(MessageError, tr("Please select a device."));
        return;
    }
    const DeviceInfo device = m_selection.first();
    if (!IdentityQuestion::confirm(window(), {device.key()}))
        return;
    Q_EMIT signalCoverMainPage();
    runRecoveryDialog(window(), device.serialNumber, device.deviceType, device.mac);
    Q_EMIT signalDisCoverMainPage();
}

} // namespace VoskTool
