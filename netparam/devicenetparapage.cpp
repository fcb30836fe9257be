#include "netparam/devicenetparapage.h"
#include "netparam/panefocus.h"

#include "aptui/multistatelineedit.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cstring>

namespace VoskTool {

namespace {

constexpr int kAddressLength = 15;

// A greyed field says why in its tool tip; an enabled one says nothing.
void setEnabledFor(QWidget *widget, bool enabled, const QString &reasonWhenDisabled)
{
    widget->setEnabled(enabled);
    widget->setToolTip(enabled ? QString() : reasonWhenDisabled);
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text = QString())
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

DeviceNetParaPage::DeviceNetParaPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("DeviceNetParaPage"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 0);
    layout->setSpacing(8);

    auto *titleRow = new QHBoxLayout;
    m_labelNetParaPicture = makeLabel(this, "m_labelNetParaPicture");
    m_labelDeviceNetPara = makeLabel(this, "m_labelDeviceNetPara", tr("Modify Network parameters"));
    m_btnImportDevice = new QPushButton(tr("Inport DevciePara"), this);
    m_btnImportDevice->setObjectName(QStringLiteral("m_btnImportDevice"));
    m_btnImportDevice->setIcon(
        QIcon(QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/ParamModify/icon_import.png")));
    m_btnImportDevice->hide();
    titleRow->addWidget(m_labelNetParaPicture);
    titleRow->addWidget(m_labelDeviceNetPara, 1);
    titleRow->addWidget(m_btnImportDevice);
    layout->addLayout(titleRow);

    m_checkBoxDHCP = new QCheckBox(tr("Enable DHCP"), this);
    m_checkBoxDHCP->setObjectName(QStringLiteral("m_checkBoxDHCP"));
    m_checkBoxBatchDHCP = new QCheckBox(tr("Enable DHCP"), this);
    m_checkBoxBatchDHCP->setObjectName(QStringLiteral("m_checkBoxBatchDHCP"));
    layout->addWidget(m_checkBoxDHCP);
    layout->addWidget(m_checkBoxBatchDHCP);

    auto makeRow = [](QWidget *owner, QGridLayout *grid, int line, const char *labelName, const QString &text,
                      const char *editName, const char *hintName) {
        Row row;
        row.label = makeLabel(owner, labelName, text);
        row.edit = new aptui::MultiStateLineEdit(owner);
        row.edit->setObjectName(QLatin1String(editName));
        row.hint = makeLabel(owner, hintName);
        row.hint->setFixedSize(16, 16);
        grid->addWidget(row.label, line, 0);
        grid->addWidget(row.edit, line, 1);
        grid->addWidget(row.hint, line, 2);
        return row;
    };

    m_widgetStartIp = new QWidget(this);
    m_widgetStartIp->setObjectName(QStringLiteral("m_widgetStartIp"));
    auto *startGrid = new QGridLayout(m_widgetStartIp);
    startGrid->setContentsMargins(0, 0, 0, 0);
    m_startIp = makeRow(m_widgetStartIp, startGrid, 0, "m_labelStartIp", tr("StartIp:"), "m_lineEditStartIp",
                        "m_labelHintStartIp");
    auto *tipWidget = new QWidget(m_widgetStartIp);
    tipWidget->setObjectName(QStringLiteral("m_tipWidget2"));
    auto *tipLayout = new QHBoxLayout(tipWidget);
    tipLayout->setContentsMargins(0, 0, 0, 0);
    QLabel *description = makeLabel(tipWidget, "m_lableStartIpDescription",
                                    tr("Please set the start Ip address,then add one"));
    description->setWordWrap(true);
    tipLayout->addWidget(description);
    startGrid->addWidget(tipWidget, 1, 1, 1, 2);
    layout->addWidget(m_widgetStartIp);

    m_WidgetItems = new QWidget(this);
    m_WidgetItems->setObjectName(QStringLiteral("m_WidgetItems"));
    auto *grid = new QGridLayout(m_WidgetItems);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(8);
    int line = 0;
    m_serial = makeRow(m_WidgetItems, grid, line++, "m_labelSerialNumber", tr("Device Serial:"),
                       "m_lineEditSerialNumber", "m_labelHintDeviceSerial");
    m_ip = makeRow(m_WidgetItems, grid, line++, "m_labelIpAddress", tr("IP Address:"), "m_lineEditIpAddress",
                   "m_labelHintIpAddress");
    m_port = makeRow(m_WidgetItems, grid, line++, "m_labelPort", tr("Port:"), "m_lineEditPort", "m_labelHintPort");
    m_mask = makeRow(m_WidgetItems, grid, line++, "m_labelSubnetMask", tr("Subnet Mask:"), "m_lineEditSubnetMask",
                     "m_labelHintSubnetMask");
    m_gateway = makeRow(m_WidgetItems, grid, line++, "m_labelGateway", tr("Gateway:"), "m_lineEditGateway",
                        "m_labelHintGateway");
    m_ipv6 = makeRow(m_WidgetItems, grid, line++, "m_labelIPV6Address", tr("IPv6 Address:"),
                     "m_lineEditIPV6Address", "m_labelHintIPv6Address");
    m_ipv6Gateway = makeRow(m_WidgetItems, grid, line++, "m_labelIPV6Gateway", tr("IPv6 Gateway:"),
                            "m_lineEditIPV6Gateway", "m_labelHintIPv6Gateway");
    m_prefix = makeRow(m_WidgetItems, grid, line++, "m_labelIPV6SubnetMaskLen", tr("IPv6 Prefix Length:"),
                       "m_lineEditIPV6SubnetMaskLen", "m_labelHintPrefixLength");
    m_httpPort = makeRow(m_WidgetItems, grid, line++, "m_labelHttpPort", tr("Http Port:"), "m_lineEditHttpPort",
                         "m_labelHintHttpPort");
    layout->addWidget(m_WidgetItems);

    auto *securityRow = new QHBoxLayout;
    QLabel *line1 = makeLabel(this, "m_labelGrayLine");
    QLabel *line2 = makeLabel(this, "m_labelGrayLine1");
    for (QLabel *grey : {line1, line2}) {
        grey->setFixedHeight(1);
        grey->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    securityRow->addWidget(line1, 1);
    securityRow->addWidget(makeLabel(this, "m_labelSecurity", tr("Security Verification")));
    securityRow->addWidget(line2, 1);
    layout->addLayout(securityRow);

    m_serial.edit->setReadOnly(true);
    for (const Row &row : {m_startIp, m_ip, m_mask, m_gateway})
        row.edit->setMaxLength(kAddressLength);
    m_ipv6.edit->setMaxLength(kMaxIpv6TextLength);
    m_ipv6Gateway.edit->setMaxLength(kMaxIpv6TextLength);
    m_port.edit->setValidator(new QIntValidator(0, 65535, this));
    m_httpPort.edit->setValidator(new QIntValidator(0, 65535, this));
    m_prefix.edit->setValidator(new QIntValidator(0, 127, this));

    for (const Row &row : {m_startIp, m_serial, m_ip, m_port, m_mask, m_gateway, m_ipv6, m_ipv6Gateway, m_prefix,
                           m_httpPort})
        row.edit->installEventFilter(this);

    connect(m_checkBoxDHCP, &QCheckBox::stateChanged, this, &DeviceNetParaPage::signalDhcpStateChanged);
    connect(m_checkBoxBatchDHCP, &QCheckBox::stateChanged, this, &DeviceNetParaPage::signalBatchDhcpStateChanged);
}

DeviceNetParaPage::~DeviceNetParaPage() = default;

void DeviceNetParaPage::setMessenger(PaneMessenger messenger)
{
    m_messenger = std::move(messenger);
}

void DeviceNetParaPage::setRowVisible(const Row &row, bool visible)
{
    row.label->setVisible(visible);
    row.edit->setVisible(visible);
    row.hint->setVisible(visible);
}

void DeviceNetParaPage::showSingleForm()
{
    m_labelDeviceNetPara->setText(tr("Modify Network parameters"));
    m_widgetStartIp->hide();
    setRowVisible(m_serial, true);
    setRowVisible(m_ip, true);
    m_checkBoxDHCP->show();
    m_checkBoxBatchDHCP->hide();
    clearHints();
}

void DeviceNetParaPage::showBatchForm()
{
    m_labelDeviceNetPara->setText(tr("Batch Modify Network parameters"));
    m_widgetStartIp->show();
    setRowVisible(m_serial, false);
    setRowVisible(m_ip, false);
    m_checkBoxDHCP->hide();
    m_checkBoxBatchDHCP->show();
    {
        // fillBatch decides which fields a batch may edit; the box's signal
        // would enable the address fields first.
        const QSignalBlocker blocker(m_checkBoxBatchDHCP);
        m_checkBoxBatchDHCP->setChecked(false);
    }
    clearHints();
}

void DeviceNetParaPage::clearAndDisable()
{
    m_ipv4Off = false;
    m_gatewayOptional = false;
    m_ipv6GatewayOptional = false;
    const QString reason = tr("Check a device in the table first.");
    for (const Row &row : {m_serial, m_ip, m_port, m_mask, m_gateway, m_httpPort, m_ipv6, m_ipv6Gateway, m_prefix}) {
        row.edit->clear();
        setEnabledFor(row.edit, false, reason);
    }
    {
        const QSignalBlocker blocker(m_checkBoxDHCP);
        m_checkBoxDHCP->setChecked(false);
    }
    setEnabledFor(m_checkBoxDHCP, false, reason);
    clearHints();
}

void DeviceNetParaPage::markUnedited()
{
    for (const Row &row : {m_startIp, m_ip, m_port, m_mask, m_gateway, m_httpPort, m_ipv6, m_ipv6Gateway, m_prefix})
        row.edit->setModified(false);
}

bool DeviceNetParaPage::isEdited() const
{
    // setText() clears a line edit's modified flag; typing sets it.
    for (const Row &row : {m_startIp, m_ip, m_port, m_mask, m_gateway, m_httpPort, m_ipv6, m_ipv6Gateway, m_prefix}) {
        if (row.edit->isModified())
            return true;
    }
    return false;
}

void DeviceNetParaPage::enableAllFields()
{
    for (const Row &row : {m_serial, m_ip, m_port, m_mask, m_gateway, m_httpPort, m_ipv6, m_ipv6Gateway, m_prefix})
        setEnabledFor(row.edit, true, QString());
    setEnabledFor(m_checkBoxDHCP, true, QString());
}

void DeviceNetParaPage::fillSingle(const QString &serialNumber, const QString &mac, bool forceDhcpOff)
{
    fillSingle(DeviceKey(serialNumber, mac), forceDhcpOff);
}

void DeviceNetParaPage::fillSingle(const DeviceKey &key, bool forceDhcpOff)
{
    // What the fill writes is the device's, not typed: on every way out.
    const auto unedited = qScopeGuard([this] { markUnedited(); });
    if (key.serialNumber.isEmpty() && key.mac.isEmpty() && !key.isOnvif()) {
        clearAndDisable();
        return;
    }
    VOSK_NET_PARAM param;
    VOSK_DEVICE_INFO record;
    std::memset(&param, 0, sizeof param);
    std::memset(&record, 0, sizeof record);
    DeviceStore *store = DeviceStore::instance();
    store->getNetParam(key, param);
    store->getDevice(key, record);
    const bool onvif = VOSK::isOnvifRecord(record);
    const quint8 onvifFlags = onvif ? VOSK::onvifFlags(record) : 0;

    for (const Row &row : {m_port, m_httpPort})
        row.edit->setPlaceholderText(QString());
    m_serial.edit->setText(onvif ? VOSK::fieldText(record.serialNumber) : key.serialNumber);
    m_serial.edit->setCursorPosition(0);
    m_ip.edit->setText(VOSK::fieldText(param.ipv4Address));
    m_port.edit->setText(onvif ? QString() : QString::number(param.port));
    m_mask.edit->setText(VOSK::fieldText(param.ipv4Mask));
    m_gateway.edit->setText(VOSK::fieldText(param.ipv4Gateway));
    for (const Row &row : {m_ip, m_port, m_mask, m_gateway})
        setEnabledFor(row.edit, true, QString());
    if (onvif)
        setEnabledFor(m_port.edit, false, tr("ONVIF devices have no device port; their HTTP port is the one to change."));
    // A device reached over IPv6 alone has no IPv4 values to start from:
    // its empty fields are neither asked for nor sent (DHCP still turns
    // IPv4 on).
    m_ipv4Off = ipv4Off(record);
    if (m_ipv4Off) {
        for (const Row &row : {m_ip, m_mask, m_gateway})
            setEnabledFor(row.edit, false,
                          tr("IPv4 is off on this device: it is reached over IPv6 alone. Change its IPv6 "
                             "parameters below."));
    }
    // An ONVIF device may have no gateway: the empty field keeps it so.
    // One it has is not cleared that way (the field must then hold one).
    m_gatewayOptional = onvif && VOSK::fieldText(param.ipv4Gateway).trimmed().isEmpty();
    m_ipv6GatewayOptional = onvif && VOSK::fieldText(param.ipv6Gateway).trimmed().isEmpty();

    const QString http = QString::number(param.httpPort);
    m_httpPort.edit->setText(http);
    setEnabledFor(m_httpPort.edit, http != QLatin1String("0"),
                  tr("The device reports no HTTP port, so it cannot be changed here."));

    if (record.addressInfoValid == 1 && (!onvif || (onvifFlags & VOSK::OnvifIpv6Reported))) {
        m_ipv6.edit->setText(VOSK::fieldText(param.ipv6Address));
        m_ipv6Gateway.edit->setText(VOSK::fieldText(param.ipv6Gateway));
        m_prefix.edit->setText(QString::number(param.ipv6PrefixLength));
        // The console applies the same rule to its IPv6 options.
        const bool modifiable = ipv6Modifiable(record);
        for (const Row &row : {m_ipv6, m_ipv6Gateway, m_prefix})
            setEnabledFor(row.edit, modifiable, tr("This device does not allow its IPv6 parameters to be changed."));
    } else {
        for (const Row &row : {m_ipv6, m_ipv6Gateway, m_prefix}) {
            row.edit->clear();
            setEnabledFor(row.edit, false, tr("This device reports no IPv6 parameters."));
        }
    }

    // The pane reacts to the box's signal by reloading these very fields;
    // this fill decides the box itself.
    const QSignalBlocker blocker(m_checkBoxDHCP);
    // DHCP is part of every ONVIF device's network interface settings.
    if (onvif || (record.capabilities & VOSK_CAP_DHCP)) {
        setEnabledFor(m_checkBoxDHCP, true, QString());
        if (!forceDhcpOff && param.dhcpEnabled == 1) {
            applyDhcpOn();
            focusInPane(m_port.edit);
            if (onvif && !(onvifFlags & VOSK::OnvifSignedIn))
                disableUntilSignedIn();
            return;
        }
    } else {
        setEnabledFor(m_checkBoxDHCP, false, tr("This device does not support DHCP."));
    }
    m_checkBoxDHCP->setChecked(false);
    focusInPane(m_ip.edit);
    if (onvif && !(onvifFlags & VOSK::OnvifSignedIn))
        disableUntilSignedIn();
}

void DeviceNetParaPage::disableUntilSignedIn()
{
    // Before sign-in an ONVIF row holds only what discovery said: no mask,
    // gateway or DHCP state to start a change from, and a form sent like
    // that would wipe them on the device.
    const QString reason = tr("Sign in to this ONVIF device first (\"Sign in\" above the table): its network "
                              "settings are read with your user name and password.");
    for (const Row &row : {m_ip, m_port, m_mask, m_gateway, m_httpPort, m_ipv6, m_ipv6Gateway, m_prefix})
        setEnabledFor(row.edit, false, reason);
    setEnabledFor(m_checkBoxDHCP, false, reason);
}

void DeviceNetParaPage::applyDhcpOn()
{
    const QSignalBlocker blocker(m_checkBoxDHCP);
    m_checkBoxDHCP->setChecked(true);
    for (const Row &row : {m_ip, m_mask, m_gateway, m_ipv6, m_ipv6Gateway, m_prefix})
        setEnabledFor(row.edit, false, tr("DHCP is on: the device gets its addresses from the DHCP server."));
}

void DeviceNetParaPage::fillBatch(const QVector<DeviceInfo> &devices)
{
    const auto unedited = qScopeGuard([this] { markUnedited(); });
    m_ipv4Off = false;
    m_gatewayOptional = false;
    m_ipv6GatewayOptional = false;
    DeviceStore *store = DeviceStore::instance();
    QVector<VOSK_DEVICE_INFO> records;
    bool anyOnvif = false;
    for (const DeviceInfo &info : devices) {
        VOSK_DEVICE_INFO record;
        std::memset(&record, 0, sizeof record);
        store->getDevice(info.key(), record);
        anyOnvif = anyOnvif || VOSK::isOnvifRecord(record);
        records.append(record);
    }
    // The console applies the same rules to its batch.
    const BatchFieldRules rules = batchFieldRules(records);
    const bool addressEditable = rules.addressEditable, gatewayEditable = rules.gatewayEditable;
    const bool httpEditable = rules.httpPortEditable;
    // ONVIF devices have no device port: a port typed for the batch could
    // reach only some of its devices.
    const bool portEditable = rules.portEditable && !anyOnvif;

    for (const Row &row : {m_startIp, m_port, m_mask, m_gateway, m_ipv6, m_ipv6Gateway, m_prefix, m_httpPort})
        row.edit->clear();
    // Left empty, a port field of the batch changes nothing: said in the
    // field before anyone types.
    for (const Row &row : {m_port, m_httpPort})
        row.edit->setPlaceholderText(tr("Empty: each device keeps its own"));
    // Without a start address every device keeps its address, so the rules
    // grey the gateway too; its tool tip says which of the two reasons holds.
    m_batchAddressReason = tr("The checked devices are of types with a fixed address, which a batch cannot set.");
    m_batchGatewayReason = addressEditable
        ? tr("None of the checked devices reports a gateway that can be changed.")
        : tr("Without a start address every device keeps its address and gateway.");
    m_batchAddressEditable = addressEditable;
    m_batchGatewayEditable = gatewayEditable;
    setEnabledFor(m_startIp.edit, addressEditable, m_batchAddressReason);
    setEnabledFor(m_mask.edit, addressEditable, m_batchAddressReason);
    setEnabledFor(m_port.edit, portEditable,
                  anyOnvif ? tr("ONVIF devices have no device port, so every device keeps its own.")
                           : tr("The checked devices use different ports, so each keeps its own."));
    setEnabledFor(m_gateway.edit, gatewayEditable, m_batchGatewayReason);
    setEnabledFor(m_httpPort.edit, httpEditable,
                  tr("One of the checked devices reports no HTTP port, so every device keeps its own."));
    for (const Row &row : {m_ipv6, m_ipv6Gateway, m_prefix})
        setEnabledFor(row.edit, false, tr("IPv6 parameters are changed one device at a time."));
    {
        const QSignalBlocker blocker(m_checkBoxBatchDHCP);
        m_checkBoxBatchDHCP->setChecked(false);
    }
    focusInPane(m_startIp.edit);
}

void DeviceNetParaPage::setBatchAddressFieldsEnabled(bool enabled)
{
    // Unchecking batch DHCP must not open a field to devices that cannot
    // take its value.
    struct Allowed
    {
        Row row;
        bool allowed;
        QString reason;
    };
    const Allowed rows[] = {{m_startIp, m_batchAddressEditable, m_batchAddressReason},
                            {m_mask, m_batchAddressEditable, m_batchAddressReason},
                            {m_gateway, m_batchGatewayEditable, m_batchGatewayReason}};
    const QString dhcpReason = tr("DHCP is on: the devices get their addresses from the DHCP server.");
    for (const Allowed &entry : rows) {
        if (!enabled)
            entry.row.edit->clear();
        setEnabledFor(entry.row.edit, enabled && entry.allowed, enabled ? entry.reason : dhcpReason);
    }
}

bool DeviceNetParaPage::isBatchStatic() const
{
    return !m_checkBoxBatchDHCP->isChecked();
}

DeviceNetParaPage::BatchValues DeviceNetParaPage::batchValues() const
{
    BatchValues values;
    values.startIp = m_startIp.edit->text().trimmed();
    values.subnetMask = m_mask.edit->text().trimmed();
    values.gateway = m_gateway.edit->text().trimmed();
    values.port = portValue(m_port.edit->text());
    values.httpPort = portValue(m_httpPort.edit->text());
    values.startIpEnabled = m_startIp.edit->isEnabled();
    values.subnetMaskEnabled = m_mask.edit->isEnabled();
    values.gatewayEnabled = m_gateway.edit->isEnabled();
    return values;
}

VOSK_NET_PARAM DeviceNetParaPage::collectNetParam() const
{
    VOSK_NET_PARAM param;
    std::memset(&param, 0, sizeof param);
    VOSK::setFieldText(param.ipv4Address, m_ip.edit->text().trimmed());
    VOSK::setFieldText(param.ipv4Mask, m_mask.edit->text().trimmed());
    VOSK::setFieldText(param.ipv4Gateway, m_gateway.edit->text().trimmed());
    param.port = quint16(m_port.edit->text().trimmed().toUInt());
    param.dhcpEnabled = m_checkBoxDHCP->isChecked() ? 1 : 0;
    const uint http = m_httpPort.edit->text().trimmed().toUInt();
    param.httpPort = quint16(http == 0 ? 80 : http);
    VOSK::setFieldText(param.ipv6Address, m_ipv6.edit->text().trimmed());
    VOSK::setFieldText(param.ipv6Gateway, m_ipv6Gateway.edit->text().trimmed());
    param.ipv6PrefixLength = quint8(m_prefix.edit->text().trimmed().toUInt());
    return param;
}

NetChange DeviceNetParaPage::collectChange() const
{
    NetChange change;
    auto given = [](const Row &row) -> std::optional<QString> {
        if (!row.edit->isEnabled())
            return std::nullopt;
        return row.edit->text().trimmed();
    };
    change.ipv4Address = given(m_ip);
    change.ipv4Mask = given(m_mask);
    change.ipv4Gateway = given(m_gateway);
    change.ipv6Address = given(m_ipv6);
    change.ipv6Gateway = given(m_ipv6Gateway);
    if (m_prefix.edit->isEnabled())
        change.ipv6PrefixLength = m_prefix.edit->text().trimmed().toInt();
    if (m_port.edit->isEnabled())
        change.port = portValue(m_port.edit->text());
    if (m_httpPort.edit->isEnabled())
        change.httpPort = portValue(m_httpPort.edit->text());
    if (m_checkBoxDHCP->isEnabled())
        change.dhcp = m_checkBoxDHCP->isChecked();
    return change;
}

BatchSettings DeviceNetParaPage::batchSettings() const
{
    const BatchValues values = batchValues();
    BatchSettings settings;
    settings.dhcp = !isBatchStatic();
    if (!settings.dhcp && values.startIpEnabled) {
        settings.start = values.startIp;
        if (values.subnetMaskEnabled)
            settings.mask = values.subnetMask;
        if (values.gatewayEnabled)
            settings.gateway = values.gateway;
    }
    if (values.port != 0)
        settings.port = values.port;
    if (values.httpPort != 0)
        settings.httpPort = values.httpPort;
    return settings;
}

void DeviceNetParaPage::clearHint(const Row &row)
{
    row.hint->clear();
    row.edit->setLineEditState(aptui::MultiStateLineEdit::NORMAL);
}

void DeviceNetParaPage::clearHints()
{
    for (const Row &row : {m_startIp, m_serial, m_ip, m_port, m_mask, m_gateway, m_ipv6, m_ipv6Gateway, m_prefix,
                           m_httpPort})
        clearHint(row);
}

NetParamTexts DeviceNetParaPage::texts() const
{
    NetParamTexts t;
    t.startIp = m_startIp.edit->text();
    t.ipAddress = m_ip.edit->text();
    t.subnetMask = m_mask.edit->text();
    t.gateway = m_gateway.edit->text();
    t.port = m_port.edit->text();
    t.httpPort = m_httpPort.edit->text();
    t.ipv6Address = m_ipv6.edit->text();
    t.ipv6Gateway = m_ipv6Gateway.edit->text();
    t.prefixLength = m_prefix.edit->text();
    t.startIpEnabled = m_startIp.edit->isEnabled();
    t.subnetMaskEnabled = m_mask.edit->isEnabled();
    t.gatewayEnabled = m_gateway.edit->isEnabled();
    t.portEnabled = m_port.edit->isEnabled();
    t.httpPortEnabled = m_httpPort.edit->isEnabled();
    t.ipv6Enabled = m_ipv6.edit->isEnabled();
    t.ipv4Required = !m_ipv4Off;
    t.gatewayOptional = m_gatewayOptional;
    t.ipv6GatewayOptional = m_ipv6GatewayOptional;
    return t;
}

DeviceNetParaPage::Row DeviceNetParaPage::rowOf(NetField field) const
{
    switch (field) {
    case NetField::StartIp: return m_startIp;
    case NetField::IpAddress: return m_ip;
    case NetField::SubnetMask: return m_mask;
    case NetField::Gateway: return m_gateway;
    case NetField::Port: return m_port;
    case NetField::HttpPort: return m_httpPort;
    case NetField::Ipv6Address: return m_ipv6;
    case NetField::Ipv6Gateway: return m_ipv6Gateway;
    case NetField::PrefixLength: return m_prefix;
    case NetField::None: break;
    }
    return m_serial;
}

QString DeviceNetParaPage::messageFor(NetField field, FieldError error) const
{
    const bool empty = error == FieldError::Empty;
    switch (field) {
    case NetField::StartIp:
    case NetField::IpAddress:
        return empty ? tr("Please input IP Address.") : tr("IP Address not correct.");
    case NetField::SubnetMask:
        return empty ? tr("Subnet mask can not be empty.") : tr("Subnet Mask not correct.");
    case NetField::Gateway:
        return empty ? tr("Gateway can not be empty") : tr("Gateway not correct.");
    case NetField::Port:
        return tr("Device port ranges from 2000 to 65535.");
    case NetField::HttpPort:
        return tr("Http port ranges from 1 to 65535.");
    case NetField::Ipv6Address:
        return tr("IPv6 Address not correct.");
    case NetField::Ipv6Gateway:
        return tr("IPv6 gateway not correct.");
    case NetField::PrefixLength:
        return tr("IPv6 prefix length ranges from 0 to 127.");
    case NetField::None:
        break;
    }
    return QString();
}

bool DeviceNetParaPage::report(const FieldFailure &failure, const QPoint &position)
{
    if (failure.ok())
        return true;
    const Row row = rowOf(failure.field);
    PaneMessage message;
    message.kind = MessageError;
    message.text = messageFor(failure.field, failure.error);
    message.position = position;
    message.field = row.edit;
    message.hint = row.hint;
    if (m_messenger)
        m_messenger(message);
    return false;
}

bool DeviceNetParaPage::checkOne(NetField field, const QPoint &position)
{
    return report({field, checkField(field, texts())}, position);
}

bool DeviceNetParaPage::checkStartIp(const QPoint &position) { return checkOne(NetField::StartIp, position); }
bool DeviceNetParaPage::checkIpAddress(const QPoint &position) { return checkOne(NetField::IpAddress, position); }
bool DeviceNetParaPage::checkSubnetMask(const QPoint &position) { return checkOne(NetField::SubnetMask, position); }
bool DeviceNetParaPage::checkGateway(const QPoint &position) { return checkOne(NetField::Gateway, position); }
bool DeviceNetParaPage::checkPort(const QPoint &position) { return checkOne(NetField::Port, position); }
bool DeviceNetParaPage::checkHttpPort(const QPoint &position) { return checkOne(NetField::HttpPort, position); }

bool DeviceNetParaPage::checkSingleForm(const QPoint &position)
{
    return report(checkSingleFields(texts()), position);
}

bool DeviceNetParaPage::checkBatchForm(const QPoint &position)
{
    return report(checkBatchFields(texts()), position);
}

bool DeviceNetParaPage::checkBatchRoom(const QPoint &position, int devices)
{
    const QString start = m_startIp.edit->text().trimmed();
    const int room = batchAddressRoom(start);
    if (devices <= room)
        return true;
    PaneMessage message;
    message.text = tr("The start address %1 leaves room for %2 devices only, but %3 are selected. "
                      "Please choose a lower start address.")
                       .arg(start)
                       .arg(room)
                       .arg(devices);
    message.position = position;
    message.field = m_startIp.edit;
    message.hint = m_startIp.hint;
    message.tall = true;
    if (m_messenger)
        m_messenger(message);
    return false;
}

bool DeviceNetParaPage::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        for (const Row &row : {m_startIp, m_serial, m_ip, m_port, m_mask, m_gateway, m_ipv6, m_ipv6Gateway,
                               m_prefix, m_httpPort}) {
            if (watched == row.edit) {
                clearHint(row);
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace VoskTool
