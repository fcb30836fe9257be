#include "export/devicesinfosavepage.h"

#include "aptui/filepathbutton.h"
#include "aptui/multistatelineedit.h"
#include "aptui/targetpath.h"
#include "aptui/warningdialog.h"
#include "export/excelmanager.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QAbstractItemModel>
#include <QSettings>
#include <QStandardPaths>
#include <QToolButton>

namespace VoskTool {

namespace {

constexpr int kNameMaxLength = 32;

// The folder of the last export, kept in the user's files from one start
// to the next (beside the window's state).
const QString kFolderKey = QStringLiteral("Export/folder");

QString settingsFile()
{
    return TarnGUIToolkit::GetUserFilePath(QStringLiteral("Export.ini"));
}

QString &rememberedFolder()
{
    static QString folder = QSettings(settingsFile(), QSettings::IniFormat).value(kFolderKey).toString();
    return folder;
}

void remember(const QString &folder)
{
    if (rememberedFolder() == folder)
        return;
    rememberedFolder() = folder;
    QSettings(settingsFile(), QSettings::IniFormat).setValue(kFolderKey, folder);
}

bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

// The folder text with exactly one "/" at its end. The folder chooser
// leaves a native separator there; a root folder keeps its own.
QString folderWithSlash(QString folder)
{
    while (folder.size() > 1 && isSeparator(folder.back()))
        folder.chop(1);
    return isSeparator(folder.back()) ? folder : folder + QLatin1Char('/');
}

} // namespace

DevicesInfoSavePage::DevicesInfoSavePage(QAbstractItemModel *model, QWidget *parent)
    : BaseDialog(false, false, false, false, true, true, true, parent)
    , m_pModel(model)
    , m_pExcelManager(new ExcelManager(this))
    , m_folderChooser([](QWidget *owner, const QString &start) {
        return QFileDialog::getExistingDirectory(owner, QString(), start, QFileDialog::ShowDirsOnly);
    })
{
    setObjectName(QStringLiteral("DevicesInfoSavePage"));
    setTitle(tr("Export"));
    buildForm();
    setFixedSize(510, 362);
    // Confirm saves; only a successful save closes the dialog.
    setEnableDefaultConnections(true, true, true, false, true);

    // Ready to confirm: a dated name, in the folder used last (or the
    // user's documents). The name is selected, so typing replaces it.
    m_lineEditFilename->setText(defaultFileName(QDateTime::currentDateTime()));
    m_lineEditFilename->selectAll();
    m_lineEditFilepath->setText(QDir::toNativeSeparators(startFolder()));
    m_lineEditFilename->installEventFilter(this);
    m_lineEditFilepath->installEventFilter(this);
    connect(m_btnFilepath, &QToolButton::clicked, this, &DevicesInfoSavePage::onClearLineEditFilePathError);
    connect(m_btnFilepath, &QToolButton::clicked, this, &DevicesInfoSavePage::onBtnFilepathClicked);
    connect(this, &BaseDialog::signalConfirmButtonClicked, this, &DevicesInfoSavePage::onSaveDevicesInfo);
    m_lineEditFilename->setFocus();
}

DevicesInfoSavePage::~DevicesInfoSavePage() = default;

void DevicesInfoSavePage::buildForm()
{
    auto *centre = new QWidget(this);
    centre->setObjectName(QStringLiteral("m_widgetExportCentre"));
    auto *grid = new QGridLayout(centre);
    grid->setContentsMargins(40, 50, 40, 30);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(20);

    m_labelFileName = new QLabel(tr("File name:"), centre);
    m_labelFileName->setObjectName(QStringLiteral("m_labelFileName"));
    m_lineEditFilename = new aptui::MultiStateLineEdit(centre);
    m_lineEditFilename->setObjectName(QStringLiteral("m_lineEditFilename"));
    m_lineEditFilename->setMaxLength(kNameMaxLength);
    m_lineEditFilename->setFixedHeight(30);
    m_labelHintFileName = new QLabel(centre);
    m_labelHintFileName->setObjectName(QStringLiteral("m_labelHintFileName"));
    m_labelHintFileName->setFixedSize(16, 16);

    m_labelFilepath = new QLabel(tr("File path:"), centre);
    m_labelFilepath->setObjectName(QStringLiteral("m_labelFilepath"));
    m_lineEditFilepath = new aptui::MultiStateLineEdit(centre);
    m_lineEditFilepath->setObjectName(QStringLiteral("m_lineEditFilepath"));
    m_lineEditFilepath->setFixedHeight(30);
    m_btnFilepath = new QToolButton(centre);
    m_btnFilepath->setObjectName(QStringLiteral("m_btnFilepath"));
    m_btnFilepath->setFixedSize(30, 30);
    m_btnFilepath->setStyleSheet(aptui::FilePathButton::folderStyleSheet());
    m_labelHintFilePath = new QLabel(centre);
    m_labelHintFilePath->setObjectName(QStringLiteral("m_labelHintFilePath"));
    m_labelHintFilePath->setFixedSize(16, 16);

    auto *pathRow = new QHBoxLayout;
    pathRow->setSpacing(0);
    pathRow->addWidget(m_lineEditFilepath, 1);
    pathRow->addWidget(m_btnFilepath, 0);

    grid->addWidget(m_labelFileName, 0, 0, Qt::AlignRight);
    grid->addWidget(m_lineEditFilename, 0, 1);
    grid->addWidget(m_labelHintFileName, 0, 2);
    grid->addWidget(m_labelFilepath, 1, 0, Qt::AlignRight);
    grid->addLayout(pathRow, 1, 1);
    grid->addWidget(m_labelHintFilePath, 1, 2);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(1, 1);
    setCenterWidget(centre);
}

void DevicesInfoSavePage::exportRows(QAbstractItemModel *model, const QList<int> &rows, QWidget *parent)
{
    DevicesInfoSavePage dialog(model, parent);
    dialog.setRows(rows);
    dialog.setWindowIcon(QIcon(QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/SystemInfo/logo_large.png")));
    dialog.exec();
}

QString DevicesInfoSavePage::fileName() const
{
    return m_lineEditFilename->text();
}

QString DevicesInfoSavePage::filePath() const
{
    return m_lineEditFilepath->text();
}

void DevicesInfoSavePage::setFolderChooser(FolderChooser chooser)
{
    m_folderChooser = std::move(chooser);
}

QString DevicesInfoSavePage::defaultFileName(const QDateTime &when)
{
    return QStringLiteral("devices-") + when.toString(QStringLiteral("yyyyMMdd-HHmm"));
}

QString DevicesInfoSavePage::startFolder()
{
    // A folder removed since (a stick, a share) is no start.
    if (!rememberedFolder().isEmpty() && QFileInfo(rememberedFolder()).isDir())
        return rememberedFolder();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

QString DevicesInfoSavePage::lastFolder()
{
    return rememberedFolder();
}

void DevicesInfoSavePage::setLastFolder(const QString &folder)
{
    remember(folder);
}

bool DevicesInfoSavePage::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == m_lineEditFilename) {
            m_lineEditFilename->setLineEditState(aptui::MultiStateLineEdit::NORMAL);
            m_labelHintFileName->clear();
        } else if (watched == m_lineEditFilepath) {
            m_lineEditFilepath->setLineEditState(aptui::MultiStateLineEdit::NORMAL);
            m_labelHintFilePath->clear();
        }
    }
    return BaseDialog::eventFilter(watched, event);
}

void DevicesInfoSavePage::onBtnFilepathClicked()
{
    const QString chosen = m_folderChooser ? m_folderChooser(this, startFolder()) : QString();
    if (chosen.isEmpty())
        return;
    remember(chosen);
    QString text = QDir::toNativeSeparators(chosen);
    if (!text.endsWith(QDir::separator()))
        text += QDir::separator();
    m_lineEditFilepath->setText(text);
}

void DevicesInfoSavePage::onSaveDevicesInfo()
{
    const QString folderText = m_lineEditFilepath->text();
    if (!folderText.isEmpty())
        remember(folderText);
    const QString name = m_lineEditFilename->text().trimmed();

    if (name.isEmpty()) {
        showHint(WarningDialog::KindError, tr("Please input file name."), m_lineEditFilename, m_labelHintFileName);
        return;
    }
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))) {
        showHint(WarningDialog::KindError, tr("The file name cannot contain \"/\" or \"\\\"."), m_lineEditFilename,
                 m_labelHintFileName);
        return;
    }
    if (folderText.isEmpty()) {
        showHint(WarningDialog::KindError, tr("Please input file path."), m_lineEditFilepath, m_labelHintFilePath);
        return;
    }
    const QString folder = folderWithSlash(folderText);
    const QString fileInUse = tr("The file name has been used, please change it");
    if (QFileInfo::exists(folder + name + QStringLiteral(".xls"))) {
        showHint(WarningDialog::KindError, fileInUse);
        return;
    }

    switch (m_pExcelManager->save(name, folder, m_pModel, m_listRows)) {
    case ExcelManager::Result::Saved:
        // Where the file went, in full: the folder field may have been a
        // relative or a remembered one.
        showHint(WarningDialog::KindSuccess,
                 tr("Saving succeed.") + QLatin1Char('\n')
                     + QDir::toNativeSeparators(QFileInfo(folder + name + QStringLiteral(".xls")).absoluteFilePath()),
                 nullptr, nullptr, true);
        accept();
        break;
    case ExcelManager::Result::FileExists:
        showHint(WarningDialog::KindError, fileInUse);
        break;
    case ExcelManager::Result::WriteFailed:
        showHint(WarningDialog::KindError, tr("Saving failed."));
        break;
    }
}

void DevicesInfoSavePage::onClearWarningInfo()
{
    m_lineEditFilename->setLineEditState(aptui::MultiStateLineEdit::NORMAL);
    m_lineEditFilepath->setLineEditState(aptui::MultiStateLineEdit::NORMAL);
    m_labelHintFileName->clear();
    m_labelHintFilePath->clear();
}

void DevicesInfoSavePage::onClearLineEditFilePathError()
{
    m_labelHintFilePath->clear();
    m_lineEditFilepath->setLineEditState(aptui::MultiStateLineEdit::NORMAL);
}

void DevicesInfoSavePage::showHint(int kind, const QString &text, aptui::MultiStateLineEdit *lineEdit,
                                   QLabel *iconLabel, bool tall)
{
    const QRect frame = geometry();
    const QPoint corner(frame.x() + frame.width() / 2 - 155, frame.y() + frame.height() / 2 - 60);
    if (tall)
        WarningDialog::showWarningTall(corner, kind, text, this, lineEdit, iconLabel);
    else
        WarningDialog::showWarning(corner, kind, text, this, lineEdit, iconLabel);
}

} // namespace VoskTool
