#include "aptui/menu.h"

#include <QTest>

using aptui::Menu;

class TestMenu final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void framelessTranslucentPopup()
    {
        Menu plain;
        Menu titled(QStringLiteral("About"));
        for (const Menu *menu : {&plain, &titled}) {
            QCOMPARE(menu->objectName(), QStringLiteral("Menu"));
            QVERIFY(menu->windowFlags() & Qt::FramelessWindowHint);
            QCOMPARE(menu->windowType(), Qt::Popup);
            QVERIFY(menu->testAttribute(Qt::WA_TranslucentBackground));
        }
        QCOMPARE(titled.title(), QStringLiteral("About"));
    }

    void subMenus()
    {
        Menu menu;
        QWidget toolbarLike;
        Menu *inMenu = menu.createSubMenu(QStringLiteral("Language"));
        Menu *elsewhere = menu.createSubMenu(QIcon(), QStringLiteral("Skin"), &toolbarLike);
        QCOMPARE(inMenu->parent(), &menu);
        QCOMPARE(elsewhere->parent(), &menu);
        QCOMPARE(menu.actions(), QList<QAction *>{inMenu->menuAction()});
        QCOMPARE(toolbarLike.actions(), QList<QAction *>{elsewhere->menuAction()});
        QCOMPARE(inMenu->title(), QStringLiteral("Language"));

        QMenu existing(QStringLiteral("Help"));
        QAction *action = menu.addSubMenu(&existing);
        QCOMPARE(action, existing.menuAction());
        QCOMPARE(menu.actions().size(), 2);
        QVERIFY(!menu.addSubMenu(nullptr));
        QCOMPARE(menu.actions().size(), 2);
    }

    // The native window comes and goes with each popup; both times the
    // menu opens and closes normally.
    void popsUpTwice()
    {
        Menu menu;
        menu.addAction(QStringLiteral("About"));
        for (int i = 0; i < 2; ++i) {
            menu.popup(QPoint(10, 10));
            QTRY_VERIFY(menu.isVisible());
            menu.close();
            QVERIFY(!menu.isVisible());
        }
    }
};

QTEST_MAIN(TestMenu)
#include "tst_menu.moc"
