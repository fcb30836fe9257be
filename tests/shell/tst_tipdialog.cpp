// Pages declare their forms in VoskTool::Ui; the dialog's header must still
// find its own form after such a declaration.
namespace VoskTool::Ui {
class SomePage;
}

#include "shell/tipdialog.h"
#include "tests/support/modaldriver.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTest>

using VoskTool::TipDialog;

class TestTipDialog final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answer_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("result");
        QTest::newRow("confirm") << QStringLiteral("btnConfirm") << int(QDialog::Accepted);
        QTest::newRow("cancel") << QStringLiteral("btnCancel") << int(QDialog::Rejected);
        QTest::newRow("title close") << QStringLiteral("btnClose") << int(QDialog::Rejected);
    }

    void answer()
    {
        QFETCH(QString, button);
        QFETCH(int, result);
        TipDialog dialog;
        dialog.setText(QStringLiteral("Exit the VOSK software?"));
        bool closedByClick = false;
        TestSupport::onModal([&](QDialog *modal) {
            auto *target = modal->findChild<QAbstractButton *>(button);
            if (target && target->isVisibleTo(modal))
                QTest::mouseClick(target, Qt::LeftButton);
            closedByClick = !modal->isVisible();
        });
        QCOMPARE(dialog.exec(), result);
        QVERIFY(closedByClick);
    }

    void layout()
    {
        TipDialog dialog;
        auto *label = dialog.findChild<QLabel *>(QStringLiteral("m_labelTip"));
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("sure"));
        dialog.setText(QStringLiteral("Exit?"));
        QCOMPARE(dialog.text(), QStringLiteral("Exit?"));
        QVERIFY(!dialog.findChild<QLabel *>(QStringLiteral("m_labelNULL")));
        for (const char *hidden : {"btnApp", "btnOption", "btnMin", "btnMax"})
            QVERIFY(dialog.findChild<QWidget *>(QLatin1String(hidden))->isHidden());
        QVERIFY(!dialog.findChild<QWidget *>(QStringLiteral("btnClose"))->isHidden());
    }
};

QTEST_MAIN(TestTipDialog)
#include "tst_tipdialog.moc"
