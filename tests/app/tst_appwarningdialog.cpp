#include "app/appwarningdialog.h"
#include "tests/support/modaldriver.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using apt::AppWarningDialog;

// The start-up hint as the user sees it: fixed size, only the title's close
// button, and confirm/cancel only for a question.
class TestAppWarningDialog final : public QObject
{
    Q_OBJECT

private:
    struct Seen {
        QString objectName;
        QString title;
        QSize size;
        bool bottomVisible = false;
        QStringList titleButtons;
        bool textShown = false;
    };

    static Seen look(QDialog *dialog, const QString &text)
    {
        Seen seen;
        seen.objectName = dialog->objectName();
        seen.title = dialog->windowTitle();
        seen.size = dialog->size();
        if (const auto *bottom = dialog->findChild<QWidget *>(QStringLiteral("m_BaseDialogBottom")))
            seen.bottomVisible = bottom->isVisible();
        for (const char *name : {"btnApp", "btnOption", "btnMin", "btnMax", "btnClose"}) {
            const auto *button = dialog->findChild<QWidget *>(QString::fromLatin1(name));
            if (button && button->isVisible())
                seen.titleButtons << QString::fromLatin1(name);
        }
        for (const QLabel *label : dialog->findChildren<QLabel *>())
            seen.textShown = seen.textShown || label->text().contains(text);
        return seen;
    }

private Q_SLOTS:
    void notice()
    {
        Seen seen;
        const QString text = QStringLiteral("VOSK is already running.");
        TestSupport::onModal([&](QDialog *dialog) {
            seen = look(dialog, text);
            dialog->findChild<QAbstractButton *>(QStringLiteral("btnClose"))->click();
        });
        QVERIFY(!AppWarningDialog::show(text, false));
        QCOMPARE(seen.objectName, QStringLiteral("APP_WARNINGDLG"));
        QCOMPARE(seen.title, QStringLiteral("Hint"));
        QCOMPARE(seen.size, QSize(400, 256));
        QVERIFY(!seen.bottomVisible);
        QCOMPARE(seen.titleButtons, QStringList{QStringLiteral("btnClose")});
        QVERIFY(seen.textShown);
    }

    void question_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("answer");
        QTest::newRow("confirm") << QStringLiteral("btnConfirm") << true;
        QTest::newRow("cancel") << QStringLiteral("btnCancel") << false;
        QTest::newRow("title close") << QStringLiteral("btnClose") << false;
    }
    void question()
    {
        QFETCH(QString, button);
        QFETCH(bool, answer);
        Seen seen;
        const QString text = QStringLiteral("Display resolution less than 1024*768,are you sure to start the program?");
        TestSupport::onModal([&](QDialog *dialog) {
            seen = look(dialog, text);
            dialog->findChild<QAbstractButton *>(button)->click();
        });
        QCOMPARE(AppWarningDialog::show(text, true), answer);
        QVERIFY(seen.bottomVisible);
        QCOMPARE(seen.size, QSize(400, 256));
        QCOMPARE(seen.titleButtons, QStringList{QStringLiteral("btnClose")});
    }

    void hookAnswersInsteadOfTheUser()
    {
        QString asked;
        AppWarningDialog::setHook([&](const QString &text, bool askConfirm) {
            asked = text;
            return askConfirm;
        });
        QVERIFY(AppWarningDialog::show(QStringLiteral("q"), true));
        QCOMPARE(asked, QStringLiteral("q"));
        AppWarningDialog::setHook({});
    }
};

QTEST_MAIN(TestAppWarningDialog)
#include "tst_appwarningdialog.moc"
