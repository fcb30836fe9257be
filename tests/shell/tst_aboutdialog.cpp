#include "app/configuremanager.h"
#include "aptui/basedialog.h"
#include "aptui/foldermessagedialog.h"
#include "aptui/menu.h"
#include "aptui/widget.h"
#include "shell/aboutdialog.h"
#include "shell/vosktoolmainpage.h"
#include "tests/double/voskdouble.h"
#include "tests/support/modaldriver.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using VoskTool::VOSKToolMainPage;

class TestAboutDialog final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_startFolder;

    void setLanguage(const QByteArray &value)
    {
        const QString path = m_dir.filePath(QStringLiteral("Setup.xml"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("<Setup><Translator><Value>" + value + "</Value></Translator></Setup>");
        file.close();
        QVERIFY(apt::ConfigureManager::GetInstance()->load(path));
    }

    static void touch(const QString &path)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    template<typename T>
    static T *child(AboutDialog &about, const char *name)
    {
        return about.panel()->findChild<T *>(QLatin1String(name));
    }

private Q_SLOTS:
    void initTestCase() { m_startFolder = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(m_startFolder); }

    void buildNumber_data()
    {
        QTest::addColumn<QByteArray>("date");
        QTest::addColumn<int>("number");
        QTest::newRow("16 May 2018") << QByteArray("May 16 2018") << 20180516;
        QTest::newRow("space-padded day") << QByteArray("Jan  1 2020") << 20200101;
        QTest::newRow("December") << QByteArray("Dec 31 1999") << 19991231;
        QTest::newRow("unknown month") << QByteArray("Mai 16 2018") << 0;
        QTest::newRow("day 0") << QByteArray("May  0 2018") << 0;
        QTest::newRow("short") << QByteArray("May 16 18") << 0;
        QTest::newRow("letters in year") << QByteArray("May 16 20x8") << 0;
    }

    void buildNumber()
    {
        QFETCH(QByteArray, date);
        QFETCH(int, number);
        QCOMPARE(aptui::CDlgAbout::buildNumber(date.constData()), number);
    }

    void panelTexts()
    {
        AboutDialog about;
        QCOMPARE(about.panel()->objectName(), QStringLiteral("AboutDialog_ID_FX_CANNOT_BE_MULTI"));
        QCOMPARE(about.panel()->size(), QSize(288, 134));
        QCOMPARE(about.defaultWidget(), about.panel());
        QCOMPARE(child<QLabel>(about, "m_labNameValue")->text(), QStringLiteral("Name: VOSK"));
        const QString version = child<QLabel>(about, "m_labVersionValue")->text();
        QVERIFY2(version.startsWith(QStringLiteral("Version: V")), qPrintable(version));
        QVERIFY2(version.endsWith(QStringLiteral(" Build ") + QString::number(aptui::CDlgAbout::buildNumber())),
                 qPrintable(version));
        QVERIFY(aptui::CDlgAbout::buildNumber() > 20200000);
        QCOMPARE(child<QPushButton>(about, "m_conerBtn")->text(), QStringLiteral("User Help"));
        for (const char *name : {"aboutbtn1", "aboutbtn2"})
            QVERIFY(child<QPushButton>(about, name)->isHidden());
        for (const char *name : {"aboutLine1", "aboutLine2"})
            QVERIFY(child<QFrame>(about, name)->isHidden());
    }

    // The lines follow the bottom buttons: the top one while a button is or
    // becomes visible, the middle one while it is and stays.
    void bottomButtonsAndLines()
    {
        aptui::CDlgAbout about;
        about.showBtns(false);
        about.showBtn1(true);
        const auto line1 = [&] { return !about.panel()->findChild<QFrame *>(QStringLiteral("aboutLine1"))->isHidden(); };
        const auto line2 = [&] { return !about.panel()->findChild<QFrame *>(QStringLiteral("aboutLine2"))->isHidden(); };
        QVERIFY(line1() && !line2());
        about.showBtn1(true);
        QVERIFY(line1() && line2());
        about.showBtn1(false);
        QVERIFY(line1() && !line2());
        QSignalSpy corner(&about, &aptui::CDlgAbout::signalConerBtnClicked);
        QSignalSpy first(&about, &aptui::CDlgAbout::siganlBtn1Clicked);
        about.panel()->findChild<QPushButton *>(QStringLiteral("m_conerBtn"))->click();
        about.panel()->findChild<QPushButton *>(QStringLiteral("aboutbtn1"))->click();
        QCOMPARE(corner.count(), 1);
        QCOMPARE(first.count(), 1);
    }

    // Which file "User Help" opens, by language and where the manuals lie.
    void userHelp_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QStringList>("inWorkingFolder");
        QTest::addColumn<QStringList>("besideProgram");
        QTest::addColumn<QString>("opens"); // "cwd/NAME", "prog/NAME", "cwd", or "" for the message

        const QString en = AboutDialog::englishManualName();
        const QString zh = AboutDialog::chineseManualName();
        QTest::newRow("English in working folder") << QByteArray("0") << QStringList{en, zh} << QStringList{en}
                                                   << QStringLiteral("cwd/") + en;
        QTest::newRow("English beside program") << QByteArray("0") << QStringList{} << QStringList{en, zh}
                                                << QStringLiteral("prog/") + en;
        QTest::newRow("Chinese in working folder") << QByteArray("1") << QStringList{zh} << QStringList{}
                                                   << QStringLiteral("cwd/") + zh;
        QTest::newRow("Chinese beside program") << QByteArray("1") << QStringList{en} << QStringList{en, zh}
                                                << QStringLiteral("prog/") + zh;
        QTest::newRow("Chinese only: English not used") << QByteArray("1") << QStringList{en} << QStringList{en}
                                                        << QString();
        QTest::newRow("no manual") << QByteArray("0") << QStringList{} << QStringList{} << QString();
        QTest::newRow("other language opens the folder") << QByteArray("2") << QStringList{} << QStringList{}
                                                         << QStringLiteral("cwd");
    }

    void userHelp()
    {
        QFETCH(QByteArray, language);
        QFETCH(QStringList, inWorkingFolder);
        QFETCH(QStringList, besideProgram);
        QFETCH(QString, opens);

        setLanguage(language);
        QTemporaryDir cwd;
        QTemporaryDir program;
        for (const QString &name : inWorkingFolder)
            touch(cwd.filePath(name));
        for (const QString &name : besideProgram)
            touch(program.filePath(name));
        QVERIFY(QDir::setCurrent(cwd.path()));

        AboutDialog about;
        about.setProgramFolder(program.path());
        QList<QUrl> opened;
        about.setUrlOpener([&opened](const QUrl &url) {
            opened.append(url);
            return true;
        });
        QSignalSpy cover(&about, &AboutDialog::signalCover);
        QSignalSpy discover(&about, &AboutDialog::signalDiscover);
        QString message;
        if (opens.isEmpty()) {
            TestSupport::onModal([&](QDialog *dialog) {
                message = dialog->objectName() + QLatin1Char(':') + dialog->windowTitle() + QLatin1Char(':')
                          + dialog->findChild<QLabel *>(QString(), Qt::FindChildrenRecursively)->text();
                QCOMPARE(cover.count(), 1);
                QCOMPARE(discover.count(), 0);
            });
        }
        about.panel()->findChild<QPushButton *>(QStringLiteral("m_conerBtn"))->click();

        if (opens.isEmpty()) {
            QCOMPARE(opened, QList<QUrl>());
            QVERIFY2(message.startsWith(QStringLiteral("APP_WARNINGDLG:Hint:")), qPrintable(message));
            QCOMPARE(cover.count(), 1);
            QCOMPARE(discover.count(), 1);
            return;
        }
        QString expected = opens;
        expected.replace(QStringLiteral("cwd"), QDir::currentPath()).replace(QStringLiteral("prog"), program.path());
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(expected)});
        QCOMPARE(cover.count(), 0);
    }

    // The three ways "User Help" ends: the viewer shows the manual; no
    // program opens PDF files (the cause, the manual's path and its folder
    // on request); no manual at all (where it was looked for).
    void helpCases_data()
    {
        QTest::addColumn<bool>("manualThere");
        QTest::addColumn<bool>("pdfOpens");
        QTest::addColumn<bool>("folderOpens");
        QTest::addColumn<QStringList>("textHas"); // "" for no hint at all
        QTest::addColumn<bool>("folderAsked");

        QTest::newRow("viewer") << true << true << true << QStringList() << false;
        QTest::newRow("no viewer, folder opens")
            << true << false << true
            << QStringList{QStringLiteral("No program to open PDF files is installed"), QStringLiteral("<cwd>")}
            << true;
        QTest::newRow("no viewer, no file browser either")
            << true << false << false
            << QStringList{QStringLiteral("No program to open PDF files is installed"), QStringLiteral("<cwd>"),
                           QStringLiteral("No program to open folders is installed.")}
            << true;
        QTest::newRow("no manual") << false << true << true
                                   << QStringList{QStringLiteral("No user manual found."),
                                                  AboutDialog::englishManualName(), QStringLiteral("<cwd>"),
                                                  QStringLiteral("<prog>")}
                                   << false;
    }

    void helpCases()
    {
        QFETCH(bool, manualThere);
        QFETCH(bool, pdfOpens);
        QFETCH(bool, folderOpens);
        QFETCH(QStringList, textHas);
        QFETCH(bool, folderAsked);

        setLanguage("0");
        QTemporaryDir cwd;
        QTemporaryDir program;
        const QString manual = QDir(cwd.path()).filePath(AboutDialog::englishManualName());
        if (manualThere)
            touch(manual);
        QVERIFY(QDir::setCurrent(cwd.path()));

        AboutDialog about;
        about.setProgramFolder(program.path());
        QList<QUrl> opened;
        about.setUrlOpener([&](const QUrl &url) {
            opened.append(url);
            return url.toLocalFile().endsWith(QLatin1String(".pdf")) ? pdfOpens : folderOpens;
        });
        QSignalSpy cover(&about, &AboutDialog::signalCover);
        QSignalSpy discover(&about, &AboutDialog::signalDiscover);
        QString text;
        bool coveredMeanwhile = false;
        bool stillOpen = false;
        about.setHintDialogRunner([&](aptui::BaseDialog &dialog) {
            coveredMeanwhile = cover.count() == 1 && discover.count() == 0;
            if (auto *folderDialog = qobject_cast<aptui::FolderMessageDialog *>(&dialog)) {
                folderDialog->confirmButton()->click();
                text = folderDialog->text();
                stillOpen = !folderDialog->folderOpened();
                return folderDialog->result();
            }
            text = dialog.findChild<QLabel *>(QString(), Qt::FindChildrenRecursively)->text();
            return int(QDialog::Rejected);
        });

        QCOMPARE(about.onGetHelp(), textHas.isEmpty());

        QList<QUrl> expectedOpened;
        if (manualThere)
            expectedOpened << QUrl::fromLocalFile(manual);
        if (folderAsked)
            expectedOpened << QUrl::fromLocalFile(QDir::currentPath());
        QCOMPARE(opened, expectedOpened);
        if (textHas.isEmpty()) {
            QVERIFY(text.isEmpty());
            QCOMPARE(cover.count(), 0);
            return;
        }
        for (QString part : textHas) {
            part.replace(QStringLiteral("<cwd>"), QDir::toNativeSeparators(QDir::currentPath()))
                .replace(QStringLiteral("<prog>"), QDir::toNativeSeparators(QDir::cleanPath(program.path())));
            QVERIFY2(text.contains(part), qPrintable(text + QStringLiteral(" lacks ") + part));
        }
        QVERIFY(coveredMeanwhile);
        QCOMPARE(discover.count(), 1);
        QCOMPARE(stillOpen, folderAsked && !folderOpens);
    }

    // The desktop's own opener where the desktop has no program for PDF
    // files nor for folders (xdg-open would say "no method available" and
    // still count as started): "Open Folder" says so, nothing is started,
    // and the path is selected for copying.
    void noProgramForFolders()
    {
        setLanguage("0");
        QTemporaryDir bin;
        QFile xdgMime(bin.filePath(QStringLiteral("xdg-mime")));
        QVERIFY(xdgMime.open(QIODevice::WriteOnly));
        const QString asked = bin.filePath(QStringLiteral("asked"));
        // No default program for any type; each question is noted.
        xdgMime.write("#!/bin/sh\necho \"$*\" >>'" + QFile::encodeName(asked) + "'\nexit 0\n");
        xdgMime.close();
        xdgMime.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()));
        QTemporaryDir cwd;
        touch(QDir(cwd.path()).filePath(AboutDialog::englishManualName()));
        QVERIFY(QDir::setCurrent(cwd.path()));

        AboutDialog about;
        QString text;
        QString selected;
        bool stillOpen = false;
        about.setHintDialogRunner([&](aptui::BaseDialog &dialog) {
            auto *folderDialog = qobject_cast<aptui::FolderMessageDialog *>(&dialog);
            if (!folderDialog)
                return int(QDialog::Rejected);
            folderDialog->confirmButton()->click();
            text = folderDialog->text();
            selected = folderDialog->findChild<QLabel *>(QStringLiteral("m_labelFolder"))->selectedText();
            stillOpen = !folderDialog->folderOpened() && !folderDialog->confirmButton()->isEnabled();
            return folderDialog->result();
        });
        about.onGetHelp();
        qputenv("PATH", path);
        QVERIFY2(text.contains(QStringLiteral("No program to open PDF files is installed")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("No program to open folders is installed.")), qPrintable(text));
        QVERIFY(stillOpen);
        QCOMPARE(selected, QDir::toNativeSeparators(QDir::currentPath()));
        // The folder was asked about before anything was started for it.
        QFile log(asked);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(log.readAll()),
                 QStringLiteral("query default application/pdf\nquery default inode/directory\n"));
    }

    // The window's menu holds the panel; F1 without a manual shows the
    // message over the covered window, and the cover goes with it.
    void windowMenuAndF1()
    {
        VoskDouble::reset();
        setLanguage("0");
        QTemporaryDir empty;
        QVERIFY(QDir::setCurrent(empty.path()));
        VOSKToolMainPage window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.menu()->actions(), QList<QAction *>{window.aboutAction()});
        window.aboutAction()->setProgramFolder(empty.path());
        bool coveredMeanwhile = false;
        QString text;
        TestSupport::onModal([&](QDialog *dialog) {
            coveredMeanwhile = window.isCovered();
            text = dialog->findChild<QLabel *>()->text();
        });
        QTest::keyClick(&window, Qt::Key_F1);
        QVERIFY(coveredMeanwhile);
        QVERIFY2(text.startsWith(QStringLiteral("No user manual found.")), qPrintable(text));
        QVERIFY(!window.isCovered());
    }
};

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutdialog.moc"
