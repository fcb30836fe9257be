#include "aptui/multistatelineedit.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/devicestore.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "export/devicesinfosavepage.h"
#include "export/excelmanager.h"
#include "aptui/warningdialog.h"
#include "tests/double/voskdouble.h"
#include "tests/support/modaldriver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cstring>

using aptui::MultiStateLineEdit;
using namespace VoskTool;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The names in a folder, hidden ones included (the temporary files are).
QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

const QByteArray kCompoundFileSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

// Stands in for the main window's cover slots and records whether the
// window was covered while the dialog ran.
class CoverHost final : public QWidget
{
    Q_OBJECT

public:
    bool covered = false;

public Q_SLOTS:
    void enableCover() { covered = true; }
    void disableCover() { covered = false; }
};

} // namespace

class TestDevicesInfoSavePage final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStandardItemModel m_model;

    static MultiStateLineEdit *nameEdit(QDialog &d)
    {
        return d.findChild<MultiStateLineEdit *>(QStringLiteral("m_lineEditFilename"));
    }
    static MultiStateLineEdit *pathEdit(QDialog &d)
    {
        return d.findChild<MultiStateLineEdit *>(QStringLiteral("m_lineEditFilepath"));
    }
    static bool hintShown(QDialog &d, const char *name)
    {
        return !d.findChild<QLabel *>(QLatin1String(name))->pixmap().isNull();
    }

    // Presses confirm and returns the text of the bubble that answered.
    static QString confirm(DevicesInfoSavePage &dialog)
    {
        QString seen;
        TestSupport::onModal([&seen](QDialog *bubble) {
            if (auto *warning = qobject_cast<WarningDialog *>(bubble))
                seen = warning->text();
        });
        dialog.confirmButton()->click();
        return seen;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_model.setColumnCount(3);
        m_model.setHorizontalHeaderLabels({QString(), QStringLiteral("Device Type"), QStringLiteral("Serial Number")});
        m_model.appendRow({new QStandardItem, new QStandardItem(QStringLiteral("IPC")),
                           new QStandardItem(QStringLiteral("SN1"))});
    }

    void init() { DevicesInfoSavePage::setLastFolder(QString()); }

    // The checks of the confirm button, in order; the first failure stops.
    void checksInOrder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder"); // "@" stands for the test folder
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("markedField");
        QTest::addColumn<QString>("savedAs"); // file expected afterwards, or empty

        const QString noName = QStringLiteral("Please input file name.");
        const QString slash = QStringLiteral("The file name cannot contain \"/\" or \"\\\".");
        const QString noPath = QStringLiteral("Please input file path.");
        const QString used = QStringLiteral("The file name has been used, please change it");
        QTest::newRow("nothing given") << "" << "" << noName << "name" << "";
        QTest::newRow("name of blanks") << "   " << "@" << noName << "name" << "";
        QTest::newRow("slash in name") << "a/b" << "" << slash << "name" << "";
        QTest::newRow("backslash in name") << "a\\b" << "@" << slash << "name" << "";
        QTest::newRow("no folder") << "devices" << "" << noPath << "path" << "";
        QTest::newRow("name taken by any file") << "taken" << "@" << used << "" << "";
        QTest::newRow("folder missing") << "devices" << "@/missing" << "Saving failed." << "" << "";
        QTest::newRow("saved") << "devices" << "@" << "Saving succeed." << "" << "devices.xls";
        QTest::newRow("name trimmed") << " trimmed " << "@" << "Saving succeed." << "" << "trimmed.xls";
        // The chooser leaves a separator at the end; the save adds "/".
        QTest::newRow("backslash then slash") << "chosen" << "@\\" << "Saving succeed." << "" << "chosen.xls";
        QTest::newRow("slash then slash") << "typed" << "@/" << "Saving succeed." << "" << "typed.xls";
    }

    void checksInOrder()
    {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QFETCH(QString, message);
        QFETCH(QString, markedField);
        QFETCH(QString, savedAs);

        QTemporaryDir dir;
        const QByteArray notASpreadsheet("not a spreadsheet");
        writeFile(dir.filePath(QStringLiteral("taken.xls")), notASpreadsheet);
        const QStringList before = entries(dir.path());
        folder.replace(QLatin1Char('@'), dir.path());

        DevicesInfoSavePage dialog(&m_model);
        dialog.setRows({0});
        nameEdit(dialog)->setText(name);
        pathEdit(dialog)->setText(folder);
        dialog.show();
        // A saved file's message says where it went, in full.
        QCOMPARE(confirm(dialog), savedAs.isEmpty() ? message : message + QLatin1Char('\n') + dir.filePath(savedAs));

        QCOMPARE(nameEdit(dialog)->state() == MultiStateLineEdit::ERROR, markedField == QLatin1String("name"));
        QCOMPARE(hintShown(dialog, "m_labelHintFileName"), markedField == QLatin1String("name"));
        QCOMPARE(pathEdit(dialog)->state() == MultiStateLineEdit::ERROR, markedField == QLatin1String("path"));
        QCOMPARE(hintShown(dialog, "m_labelHintFilePath"), markedField == QLatin1String("path"));
        QCOMPARE(dialog.result(), savedAs.isEmpty() ? QDialog::Rejected : QDialog::Accepted);
        QCOMPARE(dialog.isVisible(), savedAs.isEmpty());

        // Nothing but the saved workbook appears; the other file is untouched.
        QStringList expected = before;
        if (!savedAs.isEmpty())
            expected.append(savedAs);
        expected.sort();
        QCOMPARE(entries(dir.path()), expected);
        QCOMPARE(readFile(dir.filePath(QStringLiteral("taken.xls"))), notASpreadsheet);
        if (!savedAs.isEmpty())
            QVERIFY(readFile(dir.filePath(savedAs)).startsWith(kCompoundFileSignature));
        // A given folder is remembered, whatever came of the save.
        QCOMPARE(DevicesInfoSavePage::lastFolder(), folder);
    }

    void pressClearsOnlyItsField()
    {
        DevicesInfoSavePage dialog(&m_model);
        nameEdit(dialog)->clear();
        dialog.show();
        QCOMPARE(confirm(dialog), QStringLiteral("Please input file name."));
        pathEdit(dialog)->setLineEditState(MultiStateLineEdit::ERROR);
        QTest::mouseClick(nameEdit(dialog), Qt::LeftButton);
        QCOMPARE(nameEdit(dialog)->state(), MultiStateLineEdit::NORMAL);
        QVERIFY(!hintShown(dialog, "m_labelHintFileName"));
        QCOMPARE(pathEdit(dialog)->state(), MultiStateLineEdit::ERROR);
    }

    void folderChooserAndRememberedFolder()
    {
        const QString first = m_dir.filePath(QStringLiteral("first"));
        QVERIFY(QDir().mkpath(first));
        QStringList starts;
        QString answer = first;
        QString offered;
        {
            DevicesInfoSavePage dialog(&m_model);
            // Before any folder is given: one that exists (the documents).
            offered = QDir::fromNativeSeparators(pathEdit(dialog)->text());
            QVERIFY2(QFileInfo(offered).isDir(), qPrintable(offered));
            dialog.setFolderChooser([&](QWidget *, const QString &start) {
                starts.append(start);
                return answer;
            });
            pathEdit(dialog)->setLineEditState(MultiStateLineEdit::ERROR);
            dialog.findChild<QToolButton *>(QStringLiteral("m_btnFilepath"))->click();
            QCOMPARE(pathEdit(dialog)->state(), MultiStateLineEdit::NORMAL);
            QCOMPARE(pathEdit(dialog)->text(), QDir::toNativeSeparators(first) + QDir::separator());
            QCOMPARE(DevicesInfoSavePage::lastFolder(), first);

            // Cancelling the chooser changes nothing.
            answer.clear();
            dialog.findChild<QToolButton *>(QStringLiteral("m_btnFilepath"))->click();
            QCOMPARE(pathEdit(dialog)->text(), QDir::toNativeSeparators(first) + QDir::separator());
            QCOMPARE(DevicesInfoSavePage::lastFolder(), first);
        }
        QCOMPARE(starts, (QStringList{offered, first}));

        // The next dialog starts in the remembered folder, with a dated name
        // that confirming alone saves there.
        DevicesInfoSavePage next(&m_model);
        next.setRows({0});
        QCOMPARE(pathEdit(next)->text(), first);
        const QString name = nameEdit(next)->text();
        QVERIFY2(QRegularExpression(QStringLiteral("^devices-\\d{8}-\\d{4}$")).match(name).hasMatch(), qPrintable(name));
        next.show();
        const QString saved = QDir(first).filePath(name + QStringLiteral(".xls"));
        QCOMPARE(confirm(next), QStringLiteral("Saving succeed.\n") + saved);
        QVERIFY(readFile(saved).startsWith(kCompoundFileSignature));
    }

    // Another program takes the name after the check and before the move:
    // its file stays, and the temporary file goes.
    void nameTakenWhileWriting()
    {
        QTemporaryDir dir;
        DevicesInfoSavePage dialog(&m_model);
        dialog.setRows({0});
        const QString target = dir.filePath(QStringLiteral("race.xls"));
        dialog.excelManager()->setBeforeCommitHook([&] { writeFile(target, "theirs"); });
        nameEdit(dialog)->setText(QStringLiteral("race"));
        pathEdit(dialog)->setText(dir.path());
        dialog.show();
        QCOMPARE(confirm(dialog), QStringLiteral("The file name has been used, please change it"));
        QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("race.xls")});
        QCOMPARE(readFile(target), QByteArray("theirs"));
        QVERIFY(dialog.isVisible());
    }

    void tooManyColumnsLeaveNoFile()
    {
        QTemporaryDir dir;
        ExcelManager manager;
        QStandardItemModel wide(1, 300);
        QCOMPARE(manager.save(QStringLiteral("wide"), dir.path() + QLatin1Char('/'), &wide, {0}),
                 ExcelManager::Result::WriteFailed);
        QCOMPARE(entries(dir.path()), QStringList());
    }

    void statementsForTheDriver()
    {
        const QStringList names = ExcelManager::columnNames(&m_model);
        QCOMPARE(names, (QStringList{QStringLiteral("Device Type"), QStringLiteral("Device Serial Number")}));
        QCOMPARE(ExcelManager::createTableStatement(QStringLiteral("devices"), names),
                 QStringLiteral("CREATE TABLE [devices] ([Device Type] char(64),[Device Serial Number] char(64))"));
        QCOMPARE(ExcelManager::insertStatement(QStringLiteral("devices"), names),
                 QStringLiteral("INSERT INTO [devices] (\"Device Type\",\"Device Serial Number\")VALUES(:2,:3)"));
    }

    // The table page's export button: the checked rows in row order, the
    // window covered while the dialog runs.
    void exportButtonOfTheTable()
    {
        VoskDouble::reset();
        DeviceStore::instance()->clear();
        QTemporaryDir dir;
        CoverHost host;
        DeviceDisplayPage page(dir.filePath(QStringLiteral("ColumnConfig.xml")), &host);
        connect(&page, &DeviceDisplayPage::signalCoverMainPage, &host, &CoverHost::enableCover);
        connect(&page, &DeviceDisplayPage::signalDisCoverMainPage, &host, &CoverHost::disableCover);
        // What the main window does with the page's request.
        connect(&page, &DeviceDisplayPage::signalExportRequested, &host, [&] {
            host.enableCover();
            DevicesInfoSavePage::exportRows(page.model(), page.checkedRows(), &page);
            host.disableCover();
        });
        for (const char *serial : {"SN-A", "SN-B", "SN-C"}) {
            VOSK_DEVICE_INFO record;
            std::memset(&record, 0, sizeof record);
            VOSK::setFieldBytes(record.serialNumber, serial);
            VOSK::setFieldBytes(record.mac, QByteArray("00-11-22-33-44-") + serial[3]);
            page.onDeviceLogin(record);
        }
        DeviceInfoModel *model = page.model();
        for (int row : {2, 0})
            model->setCheckState(row, Qt::Checked);

        QList<int> rows;
        bool coveredMeanwhile = false;
        QString title;
        TestSupport::onModal([&](QDialog *dialog) {
            if (auto *save = qobject_cast<DevicesInfoSavePage *>(dialog)) {
                rows = save->rows();
                title = save->windowTitle();
                coveredMeanwhile = host.covered;
                nameEdit(*save)->setText(QStringLiteral("fleet"));
                pathEdit(*save)->setText(dir.path());
                confirm(*save);
            }
        });
        page.findChild<QPushButton *>(QStringLiteral("m_btnExportDeviceInfo"))->click();

        QCOMPARE(rows, (QList<int>{0, 2}));
        QCOMPARE(title, QStringLiteral("Export"));
        QVERIFY(coveredMeanwhile);
        QVERIFY(!host.covered);
        QVERIFY(readFile(dir.filePath(QStringLiteral("fleet.xls"))).startsWith(kCompoundFileSignature));
        VOSK::VoskHandler::instance()->stop();
    }
};

QTEST_MAIN(TestDevicesInfoSavePage)
#include "tst_devicesinfosavepage.moc"
