#pragma once

#include "aptui/basedialog.h"

#include <QList>
#include <QString>

#include <functional>

class QDateTime;
class QLabel;
class QAbstractItemModel;
class QToolButton;

namespace aptui {
class MultiStateLineEdit;
}

namespace VoskTool {

class ExcelManager;

// The "Export" dialog: asks for a file name and a folder and saves the
// rows set with setRows() as a spreadsheet through ExcelManager.
//
// The confirm button checks, in this order, stopping at the first failure
// with a message bubble: a file name is given ("Please input file name."),
// it names no folder ("/" or "\\"), a folder is given ("Please input file
// path."), no file of that name exists ("The file name has been used,
// please change it"); then it saves: "Saving succeed." and the dialog is
// accepted, or "Saving failed." and it stays open. The file name is
// trimmed; the folder text may end in a separator.
//
// The dialog opens with a dated file name ("devices-YYYYMMDD-HHMM",
// selected) in the last folder given, which is remembered from one start
// to the next (Export.ini among the user's files, see
// TarnGUIToolkit::GetUserFilePath); before any, or when that folder is
// gone, the user's documents folder (else the home folder). The
// folder chooser starts there too. The success message gives the saved
// file's full path on a second line.
// Modal, built on the caller's stack. GUI thread only.
class DevicesInfoSavePage final : public aptui::BaseDialog
{
    Q_OBJECT

public:
    // Asks for a folder, starting at `start`; an empty result means none
    // was chosen. By default QFileDialog::getExistingDirectory.
    using FolderChooser = std::function<QString(QWidget *parent, const QString &start)>;

    // The model is not owned and must outlive the dialog.
    explicit DevicesInfoSavePage(QAbstractItemModel *model, QWidget *parent = nullptr);
    ~DevicesInfoSavePage() override;

    // The model rows to save, in order.
    void setRows(const QList<int> &rows) { m_listRows = rows; }
    QList<int> rows() const { return m_listRows; }

    QString fileName() const;
    QString filePath() const;
    ExcelManager *excelManager() const { return m_pExcelManager; }

    void setFolderChooser(FolderChooser chooser);

    // Runs the dialog modally for these rows of the model, with the
    // program's icon; returns when it closes. The caller covers its window
    // around the call.
    static void exportRows(QAbstractItemModel *model, const QList<int> &rows, QWidget *parent);

    // The file name offered for an export at `when`.
    static QString defaultFileName(const QDateTime &when);
    // The folder offered: the remembered one, else the documents folder.
    static QString startFolder();
    // The remembered folder (empty until one is given).
    static QString lastFolder();
    static void setLastFolder(const QString &folder);

    bool eventFilter(QObject *watched, QEvent *event) override;

public Q_SLOTS:
    void onBtnFilepathClicked();
    void onSaveDevicesInfo();
    void onClearWarningInfo();
    void onClearLineEditFilePathError();

private:
    void buildForm();
    // `tall`: the bubble for long texts (a path).
    void showHint(int kind, const QString &text, aptui::MultiStateLineEdit *lineEdit = nullptr,
                  QLabel *iconLabel = nullptr, bool tall = false);

    QAbstractItemModel *m_pModel;        // not owned
    QList<int> m_listRows;
    ExcelManager *m_pExcelManager;       // child
    QLabel *m_labelFileName = nullptr;   // the form's widgets are children
    aptui::MultiStateLineEdit *m_lineEditFilename = nullptr;
    QLabel *m_labelHintFileName = nullptr;
    QLabel *m_labelFilepath = nullptr;
    aptui::MultiStateLineEdit *m_lineEditFilepath = nullptr;
    QToolButton *m_btnFilepath = nullptr;
    QLabel *m_labelHintFilePath = nullptr;
    FolderChooser m_folderChooser;
};

} // namespace VoskTool
