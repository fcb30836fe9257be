// A form declared inside the kit's namespace must not hide the dialog's
// and the title's own forms.
namespace aptui::Ui {
class SomeForm;
}

#include "aptui/basedialog.h"
#include "aptui/basetitle.h"
#include "tests/support/modaldriver.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using aptui::BaseDialog;

namespace {

QAbstractButton *titleButton(const BaseDialog &dialog, const char *name)
{
    return dialog.title()->findChild<QAbstractButton *>(QLatin1String(name));
}

void click(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace

class TestBaseDialog final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void flagsDecideButtons_data()
    {
        QTest::addColumn<QList<bool>>("flags"); // app, option, min, max, close, confirm, cancel
        QTest::newRow("all") << QList<bool>{true, true, true, true, true, true, true};
        QTest::newRow("none") << QList<bool>{false, false, false, false, false, false, false};
        QTest::newRow("close, confirm") << QList<bool>{false, false, false, false, true, true, false};
        QTest::newRow("app, max, cancel") << QList<bool>{true, false, false, true, false, false, true};
    }

    void flagsDecideButtons()
    {
        QFETCH(QList<bool>, flags);
        BaseDialog dialog(flags[0], flags[1], flags[2], flags[3], flags[4], flags[5], flags[6]);
        const QList<QAbstractButton *> buttons{
            titleButton(dialog, "btnApp"),   titleButton(dialog, "btnOption"), titleButton(dialog, "btnMin"),
            titleButton(dialog, "btnMax"),   titleButton(dialog, "btnClose"),  dialog.confirmButton(),
            dialog.cancelButton()};
        for (int i = 0; i < buttons.size(); ++i) {
            QVERIFY2(buttons[i], qPrintable(QString::number(i)));
            QCOMPARE(!buttons[i]->isHidden(), flags[i]);
            QCOMPARE(buttons[i]->isEnabled(), flags[i]);
        }
        QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    }

    void confirmAccepts()
    {
        BaseDialog dialog;
        QSignalSpy confirmed(&dialog, &BaseDialog::signalConfirmButtonClicked);
        TestSupport::onModal([&](QDialog *) { click(dialog.confirmButton()); });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(confirmed.count(), 1);
    }

    void cancelAndCloseReject_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("cancel") << QStringLiteral("btnCancel");
        QTest::newRow("title close") << QStringLiteral("btnClose");
    }

    void cancelAndCloseReject()
    {
        QFETCH(QString, button);
        BaseDialog dialog;
        QSignalSpy cancelled(&dialog, &BaseDialog::signalCancelButtonClicked);
        QSignalSpy closed(&dialog, &BaseDialog::signalCloseButtonClicked);
        bool closedByClick = false;
        TestSupport::onModal([&](QDialog *modal) {
            click(modal->findChild<QAbstractButton *>(button));
            closedByClick = !modal->isVisible();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(closedByClick);
        QCOMPARE(cancelled.count() + closed.count(), 1);
    }

    void withoutClosingFlagsButtonsOnlyEmit()
    {
        BaseDialog dialog;
        dialog.setEnableDefaultConnections(false, false, false, false, false);
        QSignalSpy confirmed(&dialog, &BaseDialog::signalConfirmButtonClicked);
        QSignalSpy cancelled(&dialog, &BaseDialog::signalCancelButtonClicked);
        QSignalSpy closed(&dialog, &BaseDialog::signalCloseButtonClicked);
        bool openAfterClicks = false;
        TestSupport::onModal([&](QDialog *modal) {
            click(dialog.confirmButton());
            click(dialog.cancelButton());
            click(titleButton(dialog, "btnClose"));
            openAfterClicks = modal->isVisible();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected)); // closed by the driver
        QVERIFY(openAfterClicks);
        QCOMPARE(confirmed.count(), 1);
        QCOMPARE(cancelled.count(), 1);
        QCOMPARE(closed.count(), 1);
    }

    // A doubled connection would maximise and restore again in one click.
    void enablingTwiceConnectsOnce_data()
    {
        QTest::addColumn<QList<bool>>("sequence"); // successive enable values
        QTest::newRow("on at start") << QList<bool>{};
        QTest::newRow("on again") << QList<bool>{true};
        QTest::newRow("off then on twice") << QList<bool>{false, true, true};
    }

    void enablingTwiceConnectsOnce()
    {
        QFETCH(QList<bool>, sequence);
        BaseDialog dialog;
        for (bool on : sequence)
            dialog.setEnableDefaultConnections(on, on, on, true, true);
        dialog.resize(300, 200);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        click(titleButton(dialog, "btnMax"));
        QVERIFY(dialog.title()->GetWidgetSizeFactory()->IsMaximized(&dialog));
        click(titleButton(dialog, "btnMax"));
        QVERIFY(!dialog.title()->GetWidgetSizeFactory()->IsMaximized(&dialog));
        QCOMPARE(dialog.size(), QSize(300, 200));

        click(titleButton(dialog, "btnClose"));
        QVERIFY(!dialog.isVisible());
    }

    void titleDoubleClickActsAsMaximise_data()
    {
        QTest::addColumn<bool>("maxShown");
        QTest::addColumn<bool>("maxConnected");
        QTest::newRow("shown, connected") << true << true;
        QTest::newRow("shown, disconnected") << true << false;
        QTest::newRow("hidden") << false << true;
    }

    void titleDoubleClickActsAsMaximise()
    {
        QFETCH(bool, maxShown);
        QFETCH(bool, maxConnected);
        BaseDialog dialog(false, false, false, maxShown, true, true, true);
        dialog.setEnableDefaultConnections(true, maxConnected, true, true, true);
        QSignalSpy maxClicked(&dialog, &BaseDialog::signalMaxButtonClicked);
        dialog.resize(300, 200);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseDClick(dialog.title(), Qt::LeftButton, {}, QPoint(150, 10));
        QCOMPARE(maxClicked.count(), maxShown ? 1 : 0);
        QCOMPARE(dialog.title()->GetWidgetSizeFactory()->IsMaximized(&dialog), maxShown && maxConnected);
    }

    void disabledMaximiseDoesNothing()
    {
        BaseDialog dialog;
        dialog.setEnableDefaultConnections(true, false, true, true, true);
        QSignalSpy maxClicked(&dialog, &BaseDialog::signalMaxButtonClicked);
        dialog.show();
        click(titleButton(dialog, "btnMax"));
        QCOMPARE(maxClicked.count(), 1);
        QVERIFY(!dialog.title()->GetWidgetSizeFactory()->IsMaximized(&dialog));
    }

    void defaultText_data()
    {
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bold") << true
                              << QStringLiteral("<html><head/><body><p align=\"center\"><span style=\" font-size:12pt; "
                                                "font-weight:600;\">Saved %2</span></p></body></html>");
        QTest::newRow("plain") << false
                               << QStringLiteral("<html><head/><body><p align=\"center\"><span style=\" "
                                                 "font-size:12pt;\">Saved %2</span></p></body></html>");
    }

    void defaultText()
    {
        QFETCH(bool, bold);
        QFETCH(QString, expected);
        BaseDialog dialog;
        auto *label = dialog.findChild<QLabel *>(QStringLiteral("m_labelNULL"));
        QVERIFY(label);
        // "%2" in the text stays text.
        dialog.setDefaultText(QStringLiteral("Saved %2"), 12, bold);
        QCOMPARE(label->text(), expected);
        QCOMPARE(label->textFormat(), Qt::RichText);

        dialog.setDefaultText(QStringLiteral("<b>x</b>"));
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->text(), QStringLiteral("<b>x</b>"));
    }

    void centerWidgetReplacesDefaultLabel()
    {
        BaseDialog dialog;
        auto *centre = new QLabel(QStringLiteral("mine"));
        dialog.setCenterWidget(centre);
        QVERIFY(!dialog.findChild<QLabel *>(QStringLiteral("m_labelNULL")));
        dialog.setDefaultText(QStringLiteral("ignored"), 12, true);
        dialog.setDefaultText(QStringLiteral("ignored"));
        QCOMPARE(centre->text(), QStringLiteral("mine"));

        // Setting the same widget again must not delete it.
        QPointer<QLabel> guard(centre);
        dialog.setCenterWidget(centre);
        QVERIFY(guard);
        QVERIFY(dialog.isAncestorOf(centre));
        dialog.setCenterWidget(nullptr);
        QVERIFY(guard);
    }

    void fixedSizeShareHeights()
    {
        BaseDialog dialog(false, false, false, false, true, true, true);
        dialog.setFixedSize(400, 256);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *centre = dialog.findChild<QWidget *>(QStringLiteral("mainBorder"));
        auto *bottom = dialog.findChild<QWidget *>(QStringLiteral("m_BaseDialogBottom"));
        QCOMPARE(dialog.size(), QSize(400, 256));
        QCOMPARE(dialog.title()->height() + centre->height() + bottom->height(), 256);
        QCOMPARE(centre->width(), 400);

        // Hiding the bottom bar hands its height to the centre.
        dialog.setBottomVisible(false);
        QTRY_COMPARE(dialog.title()->height() + centre->height(), 256);
        dialog.setBottomVisible(true);
        dialog.setBottomBarHeight(70);
        QTRY_COMPARE(bottom->height(), 70);
        QCOMPARE(dialog.title()->height() + centre->height() + 70, 256);
    }

    void titleAndCustomButtons()
    {
        BaseDialog dialog;
        dialog.setTitle(QStringLiteral("Hint"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Hint"));
        QCOMPARE(dialog.title()->title(), QStringLiteral("Hint"));

        QPointer<QPushButton> custom = new QPushButton;
        dialog.addTitleButton(custom);
        QCOMPARE(custom->parentWidget(), dialog.title());
        auto *bottom = new QPushButton;
        dialog.addBottomWidget(bottom);
        QVERIFY(dialog.findChild<QWidget *>(QStringLiteral("m_BaseDialogBottom"))->isAncestorOf(bottom));
        delete dialog.title();
        QVERIFY(!custom);
    }

    // A message without a parent opens over the window the user works in,
    // not in the middle of the screen; one that was placed stays placed.
    void parentlessDialogCentresOnTheActiveWindow()
    {
        QWidget window;
        window.setGeometry(40, 60, 500, 400);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));

        aptui::BaseDialog dialog(false, false, false, false, true, false, false, nullptr);
        dialog.setFixedSize(200, 120);
        dialog.show();
        QCOMPARE(dialog.frameGeometry().center(), window.frameGeometry().center());
        dialog.hide();

        aptui::BaseDialog placed(false, false, false, false, true, false, false, nullptr);
        placed.setFixedSize(200, 120);
        placed.move(5, 7);
        placed.show();
        QCOMPARE(placed.pos(), QPoint(5, 7));
    }
};

QTEST_MAIN(TestBaseDialog)
#include "tst_basedialog.moc"
