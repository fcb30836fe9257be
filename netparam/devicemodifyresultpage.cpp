#include "netparam/devicemodifyresultpage.h"

#include "aptui/ctableview.h"
#include "aptui/treeviewwithleftpixmapdelegate.h"
#include "aptui/warningdialog.h"
#include "operations/resultcsv.h"

#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace VoskTool {

namespace {

const char kOkIcon[] = ":/CommonSkin/VOSKTool/Images/VOSKTool/BaseControl/Inputs/icon_alert_ok.png";
const char kErrorIcon[] = ":/CommonSkin/VOSKTool/Images/VOSKTool/BaseControl/Inputs/icon_alert_error.png";
constexpr int kColumnWidths[DeviceModifyResultPage::ColumnCount] = {50, 120, 120, 175, 175};

} // namespace

DeviceModifyResultPage::DeviceModifyResultPage(QWidget *parent)
    : aptui::BaseDialog(false, false, false, false, true, true, false, parent)
{
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("DeviceModifyResultPage"));
    content->resize(617, 354);
    auto *layout = new QVBoxLayout(content);
    auto *counts = new QHBoxLayout;
    m_labelDeviceAll = new QLabel(tr("Devices Number:"), content);
    m_labelDeviceAll->setObjectName(QStringLiteral("m_labelDeviceAll"));
    auto *split = new QFrame(content);
    split->setObjectName(QStringLiteral("m_ResultSplit"));
    split->setFrameShape(QFrame::VLine);
    auto *picture = new QLabel(content);
    picture->setObjectName(QStringLiteral("m_labelPic"));
    m_labelDeviceFail = new QLabel(tr("Failed Number:"), content);
    m_labelDeviceFail->setObjectName(QStringLiteral("m_labelDeviceFail"));
    counts->addWidget(m_labelDeviceAll);
    counts->addWidget(split);
    counts->addWidget(picture);
    counts->addWidget(m_labelDeviceFail);
    counts->addStretch(1);
    layout->addLayout(counts);

    m_tableViewResult = new TarnGUIToolkit::CTableView(content);
    m_tableViewResult->setObjectName(QStringLiteral("m_tableViewResult"));
    layout->addWidget(m_tableViewResult);

    auto *actions = new QHBoxLayout;
    m_btnRetry = new QPushButton(tr("Retry failed"), content);
    m_btnRetry->setObjectName(QStringLiteral("m_btnRetryFailed"));
    m_btnRetry->setEnabled(false);
    m_btnSave = new QPushButton(tr("Save"), content);
    m_btnSave->setObjectName(QStringLiteral("m_btnSaveResults"));
    actions->addStretch(1);
    actions->addWidget(m_btnRetry);
    actions->addWidget(m_btnSave);
    layout->addLayout(actions);
    connect(m_btnRetry, &QPushButton::clicked, this, [this] { done(RetryFailed); });
    connect(m_btnSave, &QPushButton::clicked, this, &DeviceModifyResultPage::onSave);

    m_model = new QStandardItemModel(0, ColumnCount, this);
    const QString headers[ColumnCount] = {tr("ID"), tr("Device Type"), tr("IPv4 Address"), tr("Serial Number"),
                                          tr("Modification")};
    for (int column = 0; column < ColumnCount; ++column) {
        m_model->setHeaderData(column, Qt::Horizontal, headers[column], Qt::DisplayRole);
        m_model->setHeaderData(column, Qt::Horizontal, int(Qt::AlignLeft | Qt::AlignVCenter),
                               Qt::TextAlignmentRole);
    }
    m_tableViewResult->setModel(m_model);
    m_tableViewResult->setItemDelegate(new aptui::TreeViewWithLeftPixmapDelegate(m_tableViewResult));
    m_tableViewResult->setAlternatingRowColors(true);
    m_tableViewResult->ShowGridLine(false);
    m_tableViewResult->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableViewResult->verticalHeader()->hide();
    // One line per device: a long result word ("sent, not seen since ...")
    // takes the room left of the dialog, is elided past it and reads whole
    // in its tool tip, rather than wrapping into a second line that the
    // row height cuts.
    m_tableViewResult->setWordWrap(false);
    m_tableViewResult->setTextElideMode(Qt::ElideRight);
    m_tableViewResult->horizontalHeader()->setStretchLastSection(true);

    setCenterWidget(content);
    setFixedSize(700, 500);
    setTitle(tr("Confirmation List"));
    setWindowIcon(QIcon(QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/SystemInfo/logo_large.png")));
}

DeviceModifyResultPage::~DeviceModifyResultPage() = default;

void DeviceModifyResultPage::setResultColumnTitle(int column, const QString &text)
{
    m_model->setHeaderData(column, Qt::Horizontal, text, Qt::DisplayRole);
}

void DeviceModifyResultPage::setTotalLabelText(const QString &text)
{
    m_labelDeviceAll->setText(text);
}

void DeviceModifyResultPage::setFailedLabelText(const QString &text)
{
    m_labelDeviceFail->setText(text);
}

void DeviceModifyResultPage::setResults(const QVector<DeviceInfo> &devices)
{
    m_labelDeviceAll->setText(m_labelDeviceAll->text() + QLatin1Char(' ') + QString::number(devices.size()));
    for (int column = 0; column < ColumnCount; ++column)
        m_tableViewResult->setColumnWidth(column, kColumnWidths[column]);

    // The pane wrote its success word in its own context; both translate
    // "Succeed" alike.
    const QString succeed = tr("Succeed");
    const QColor textColour(QStringLiteral("#666666"));
    int failed = 0;
    m_model->setRowCount(int(devices.size()));
    for (int row = 0; row < devices.size(); ++row) {
        const DeviceInfo &device = devices.at(row);
        const QString texts[ColumnCount] = {device.id, device.deviceType, device.ipv4Address, device.serialNumber,
                                            device.result};
        for (int column = 0; column < ColumnCount; ++column) {
            auto *item = new QStandardItem(texts[column]);
            item->setForeground(textColour);
            item->setEditable(false);
            if (column == ColumnResult) {
                const bool succeeded = device.result == succeed;
                item->setData(succeeded, SucceededRole);
                if (succeeded) {
                    item->setIcon(QIcon(QLatin1String(kOkIcon)));
                    item->setText(m_notes.value(device.key()));
                } else {
                    item->setIcon(QIcon(QLatin1String(kErrorIcon)));
                    ++failed;
                }
                item->setToolTip(item->text());
            }
            m_model->setItem(row, column, item);
        }
    }
    m_labelDeviceFail->setText(m_labelDeviceFail->text() + QLatin1Char(' ') + QString::number(failed));
    m_btnRetry->setEnabled(failed > 0);
}

void DeviceModifyResultPage::setSavePathChooser(SavePathChooser chooser)
{
    m_savePathChooser = std::move(chooser);
}

bool DeviceModifyResultPage::saveTo(const QString &path)
{
    QVector<ResultLine> lines;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QStandardItem *result = m_model->item(row, ColumnResult);
        QString outcome = result->text();
        if (outcome.isEmpty() && result->data(SucceededRole).toBool())
            outcome = tr("Succeed");
        lines.append({m_model->item(row, ColumnSerial)->text(), m_model->item(row, ColumnIpv4)->text(), outcome});
    }
    // Written whole or not at all: a half list would read as a shorter batch.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && writeResultCsv(file, lines) && file.commit())
        return true;
    WarningDialog::showWarning(mapToGlobal(QPoint(width() / 2 - 155, height() / 2 - 60)), WarningDialog::KindError,
                               tr("The list could not be saved: %1").arg(file.errorString()), this);
    return false;
}

void DeviceModifyResultPage::onSave()
{
    const QString path = m_savePathChooser
        ? m_savePathChooser(this)
        : QFileDialog::getSaveFileName(this, tr("Save"), QString(), tr("CSV files (*.csv)"));
    if (!path.isEmpty())
        saveTo(path);
}

} // namespace VoskTool
