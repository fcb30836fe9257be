#include "aptui/multistatelineedit.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

using aptui::MultiStateLineEdit;

class TestMultiStateLineEdit final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsNormalAndIsRegistered()
    {
        MultiStateLineEdit edit;
        QCOMPARE(edit.state(), MultiStateLineEdit::NORMAL);
        QCOMPARE(edit.property("_state").toString(), QStringLiteral("Normal"));
        QCOMPARE(QMetaType::fromName("aptui::MultiStateLineEdit::State"),
                 QMetaType::fromType<MultiStateLineEdit::State>());
    }

    void setByName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("signalled");
        QTest::newRow("tip") << QStringLiteral("tip") << int(MultiStateLineEdit::TIP) << QStringLiteral("Tip");
        QTest::newRow("Tip") << QStringLiteral("Tip") << int(MultiStateLineEdit::TIP) << QStringLiteral("Tip");
        QTest::newRow("tIP") << QStringLiteral("tIP") << int(MultiStateLineEdit::TIP) << QStringLiteral("Tip");
        QTest::newRow("2") << QStringLiteral("2") << int(MultiStateLineEdit::TIP) << QStringLiteral("Tip");
        QTest::newRow("normal") << QStringLiteral("normal") << int(MultiStateLineEdit::NORMAL) << QStringLiteral("Normal");
        QTest::newRow("3") << QStringLiteral("3") << int(MultiStateLineEdit::NORMAL) << QStringLiteral("Normal");
        QTest::newRow("Error") << QStringLiteral("Error") << int(MultiStateLineEdit::ERROR) << QStringLiteral("Error");
        QTest::newRow("1") << QStringLiteral("1") << int(MultiStateLineEdit::ERROR) << QStringLiteral("Error");
        QTest::newRow("warning") << QStringLiteral("warning") << int(MultiStateLineEdit::ERROR) << QStringLiteral("Error");
        QTest::newRow("empty") << QString() << int(MultiStateLineEdit::ERROR) << QStringLiteral("Error");
        QTest::newRow("4") << QStringLiteral("4") << int(MultiStateLineEdit::ERROR) << QStringLiteral("Error");
        QTest::newRow("padded") << QStringLiteral(" tip") << int(MultiStateLineEdit::ERROR) << QStringLiteral("Error");
    }

    void setByName()
    {
        QFETCH(QString, name);
        QFETCH(int, state);
        QFETCH(QString, signalled);
        MultiStateLineEdit edit;
        QSignalSpy spy(&edit, &MultiStateLineEdit::stateChanged);
        QVERIFY(edit.setProperty("_state", name));
        QCOMPARE(int(edit.state()), state);
        QCOMPARE(edit.property("_state").toString(), signalled);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), signalled);
    }

    void setLineEditStateRestylesAtOnce()
    {
        QWidget window;
        window.setStyleSheet(QStringLiteral(
            "aptui--MultiStateLineEdit { color: rgb(0, 0, 255); }"
            "aptui--MultiStateLineEdit[_state=\"Error\"] { color: rgb(255, 0, 0); }"
            "aptui--MultiStateLineEdit[_state=\"Tip\"] { color: rgb(0, 128, 0); }"));
        auto *edit = new MultiStateLineEdit(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(edit->palette().color(QPalette::Text), QColor(0, 0, 255));

        QSignalSpy spy(edit, &MultiStateLineEdit::stateChanged);
        QMetaObject::invokeMethod(edit, "setLineEditState",
                                  Q_ARG(aptui::MultiStateLineEdit::State, MultiStateLineEdit::ERROR));
        QCOMPARE(edit->palette().color(QPalette::Text), QColor(255, 0, 0));
        edit->setLineEditState(MultiStateLineEdit::TIP);
        QCOMPARE(edit->palette().color(QPalette::Text), QColor(0, 128, 0));
        edit->setLineEditState(MultiStateLineEdit::NORMAL);
        QCOMPARE(edit->palette().color(QPalette::Text), QColor(0, 0, 255));
        edit->setLineEditState(static_cast<MultiStateLineEdit::State>(7));
        QCOMPARE(edit->state(), MultiStateLineEdit::ERROR);
        QCOMPARE(spy.count(), 4);
        QCOMPARE(spy.at(1).at(0).toString(), QStringLiteral("Tip"));
        QCOMPARE(spy.at(2).at(0).toString(), QStringLiteral("Normal"));
    }
};

QTEST_MAIN(TestMultiStateLineEdit)
#include "tst_multistatelineedit.moc"
