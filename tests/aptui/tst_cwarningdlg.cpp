#include "aptui/basetitle.h"
#include "aptui/cwarningdlg.h"
#include "tests/support/modaldriver.h"

#include <QPushButton>
#include <QTest>

using TarnGUIToolkit::CWarningDlg;

class TestCWarningDlg final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showMessageInfo_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("result");
        QTest::newRow("confirm") << QStringLiteral("btnConfirm") << int(QDialog::Accepted);
        QTest::newRow("title close") << QStringLiteral("btnClose") << int(QDialog::Rejected);
    }

    void showMessageInfo()
    {
        QFETCH(QString, button);
        QFETCH(int, result);
        QString title;
        QString text;
        bool cancelShown = true;
        bool closedByClick = false;
        TestSupport::onModal([&](QDialog *modal) {
            auto *box = qobject_cast<CWarningDlg *>(modal);
            if (!box)
                return;
            title = box->title()->title();
            text = box->text();
            cancelShown = !box->cancelButton()->isHidden();
            QTest::mouseClick(box->findChild<QAbstractButton *>(button), Qt::LeftButton);
            closedByClick = !box->isVisible();
        });
        const int returned = CWarningDlg::ShowMessageInfo(QStringLiteral("Hint"), QStringLiteral("<b>1 < 2</b>"));
        QCOMPARE(returned, result);
        QVERIFY(closedByClick);
        QCOMPARE(title, QStringLiteral("Hint"));
        QCOMPARE(text, QStringLiteral("<b>1 < 2</b>"));
        QVERIFY(!cancelShown);
    }
};

QTEST_MAIN(TestCWarningDlg)
#include "tst_cwarningdlg.moc"
