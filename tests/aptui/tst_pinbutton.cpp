#include "aptui/pinbutton.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using aptui::PinButton;

class TestPinButton final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void withoutBuddyOnlySignals()
    {
        PinButton button;
        QCOMPARE(button.size(), QSize(14, 69));
        const QString sheet = button.styleSheet();
        QSignalSpy spy(&button, &PinButton::pinButtonClicked);
        button.click();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(button.styleSheet(), sheet);
        QVERIFY(sheet.contains(QStringLiteral(":/aptui/complex/Images/System/Complex/left.png")));
    }

    void foldsAndUnfoldsBuddy()
    {
        QWidget window;
        auto *buddy = new QWidget(&window);
        auto *button = new PinButton(&window);
        button->setBuddy(buddy);
        window.show();

        // Receivers of the signal see the buddy's new visibility. The
        // receiver watches the buddy through a QPointer: the test deletes it.
        const QPointer<QWidget> watched(buddy);
        QList<bool> hiddenWhenSignalled;
        connect(button, &PinButton::pinButtonClicked, button,
                [&] { hiddenWhenSignalled << (watched && watched->isHidden()); });
        button->click();
        QVERIFY(buddy->isHidden());
        QVERIFY(button->styleSheet().contains(QStringLiteral("Complex/right.png")));
        QVERIFY(button->styleSheet().contains(QStringLiteral("Complex/RightSel.png")));
        button->click();
        QVERIFY(!buddy->isHidden());
        QVERIFY(button->styleSheet().contains(QStringLiteral("Complex/leftSel.png")));
        QCOMPARE(hiddenWhenSignalled, (QList<bool>{true, false}));

        // A buddy that goes away leaves a button without one.
        delete buddy;
        QVERIFY(!button->buddy());
        button->click();
        QCOMPARE(hiddenWhenSignalled, (QList<bool>{true, false, false}));
    }

    void imagesAreResources()
    {
        for (const char *name : {"left", "leftSel", "right", "RightSel"}) {
            const QString path = QStringLiteral(":/aptui/complex/Images/System/Complex/%1.png").arg(QLatin1String(name));
            QVERIFY2(!QPixmap(path).isNull(), qPrintable(path));
        }
    }
};

QTEST_MAIN(TestPinButton)
#include "tst_pinbutton.moc"
