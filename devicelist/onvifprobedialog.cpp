#include "devicelist/onvifprobedialog.h"

#include "onvif/discoveryclient.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSet>

namespace VoskTool {

namespace {

// QHostAddress also takes "10", "10.1" or "0x0a.1.2.3" as IPv4 addresses
// (inet_aton's forms): a technician who typed that meant something else.
bool parseDotted(const QString &text, QHostAddress *address)
{
    static const QRegularExpression dotted(QStringLiteral("^\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}$"));
    if (!dotted.match(text).hasMatch())
        return false;
    QHostAddress parsed;
    if (!parsed.setAddress(text) || parsed.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    *address = parsed;
    return true;
}

} // namespace

OnvifProbeDialog::OnvifProbeDialog(QWidget *parent)
    : BaseDialog(false, false, false, false, true, true, true, parent)
{
    setObjectName(QStringLiteral("OnvifProbeDialog"));
    setTitle(tr("Find ONVIF devices by address"));

    auto *centre = new QWidget(this);
    centre->setObjectName(QStringLiteral("m_widgetProbeCentre"));
    auto *grid = new QGridLayout(centre);
    grid->setContentsMargins(40, 24, 40, 16);
    grid->setVerticalSpacing(12);

    auto *explanation = new QLabel(
        tr("Devices on another subnet do not hear the multicast search. Give their addresses or ranges, "
           "separated by commas, e.g. 192.168.2.64, 192.168.2.100-192.168.2.150."),
        centre);
    explanation->setObjectName(QStringLiteral("m_labelProbeExplanation"));
    explanation->setWordWrap(true);
    m_lineEditAddresses = new QLineEdit(centre);
    m_lineEditAddresses->setObjectName(QStringLiteral("m_lineEditAddresses"));
    m_labelComplaint = new QLabel(centre);
    m_labelComplaint->setObjectName(QStringLiteral("m_labelComplaint"));
    m_labelComplaint->setWordWrap(true);
    m_labelComplaint->setStyleSheet(QStringLiteral("color: #f74248;"));

    grid->addWidget(explanation, 0, 0);
    grid->addWidget(m_lineEditAddresses, 1, 0);
    grid->addWidget(m_labelComplaint, 2, 0);
    grid->setRowStretch(3, 1);
    setCenterWidget(centre);
    setConfirmButtonText(tr("Search"));
    setFixedSize(480, 280);

    setEnableDefaultConnections(true, true, true, false, true);
    connect(this, &BaseDialog::signalConfirmButtonClicked, this, &OnvifProbeDialog::onConfirm);
    m_lineEditAddresses->setFocus();
}

OnvifProbeDialog::~OnvifProbeDialog() = default;

OnvifProbeDialog::InputError OnvifProbeDialog::parse(const QString &text, QList<QHostAddress> *addresses,
                                                     QString *offending)
{
    addresses->clear();
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    // "A - B" with spaces is one range: close the gaps around dashes first.
    static const QRegularExpression dashGaps(QStringLiteral("\\s*-\\s*"));
    QString joined = text;
    joined.replace(dashGaps, QStringLiteral("-"));
    const QStringList entries = joined.split(separators, Qt::SkipEmptyParts);
    if (entries.isEmpty())
        return InputError::Empty;

    QList<QHostAddress> result;
    QSet<quint32> seen;
    auto fail = [&](InputError error, const QString &entry) {
        if (offending)
            *offending = entry;
        return error;
    };
    for (const QString &entry : entries) {
        const QStringList ends = entry.split(QLatin1Char('-'));
        QHostAddress first, last;
        if (ends.size() > 2 || !parseDotted(ends.first(), &first)
            || (ends.size() == 2 && !parseDotted(ends.last(), &last)))
            return fail(InputError::NotIpv4, entry);
        if (ends.size() == 1)
            last = first;
        if (last.toIPv4Address() < first.toIPv4Address())
            return fail(InputError::Reversed, entry);
        // Counted before the range is made, so that 0.0.0.0-255.255.255.255
        // costs nothing.
        if (quint64(last.toIPv4Address()) - first.toIPv4Address() + 1 + quint64(result.size()) > kMaxAddresses)
            return fail(InputError::TooMany, entry);
        const QList<QHostAddress> range = Onvif::DiscoveryClient::addressRange(first, last, kMaxAddresses);
        for (const QHostAddress &address : range) {
            if (!seen.contains(address.toIPv4Address())) {
                seen.insert(address.toIPv4Address());
                result.append(address);
            }
        }
    }
    *addresses = result;
    return InputError::None;
}

void OnvifProbeDialog::setText(const QString &text)
{
    m_lineEditAddresses->setText(text);
}

QString OnvifProbeDialog::complaint() const
{
    return m_labelComplaint->text();
}

void OnvifProbeDialog::onConfirm()
{
    QString entry;
    QList<QHostAddress> addresses;
    switch (parse(m_lineEditAddresses->text(), &addresses, &entry)) {
    case InputError::None:
        m_labelComplaint->clear();
        m_addresses = addresses;
        accept();
        return;
    case InputError::Empty:
        m_labelComplaint->setText(tr("Please enter an address or a range."));
        break;
    case InputError::NotIpv4:
        m_labelComplaint->setText(
            tr("\"%1\" is not an IPv4 address or a range of them (first-last).").arg(entry));
        break;
    case InputError::Reversed:
        m_labelComplaint->setText(tr("The range \"%1\" ends before it starts.").arg(entry));
        break;
    case InputError::TooMany:
        m_labelComplaint->setText(tr("Too many addresses: one search asks at most %1.").arg(kMaxAddresses));
        break;
    }
    m_lineEditAddresses->setFocus();
}

} // namespace VoskTool
