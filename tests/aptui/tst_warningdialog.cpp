// Pages declare their forms in VoskTool::Ui; the bubble's header must still
// find its own form after such a declaration.
namespace VoskTool::Ui {
class SomePage;
}

#include "aptui/multistatelineedit.h"
#include "aptui/warningdialog.h"
#include "tests/support/modaldriver.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using aptui::MultiStateLineEdit;
using VoskTool::WarningDialog;

namespace {

const QString kSmallError = QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/BaseControl/Inputs/icon_alert_error.png");
const QString kSmallInfo = QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/BaseControl/Inputs/icon_alert_info.png");

bool samePixels(const QPixmap &a, const QString &path)
{
    return !a.isNull() && a.toImage() == QPixmap(path).toImage();
}

// What the bubble looked like while it ran.
struct Seen
{
    bool shown = false;
    QPoint pos;
    QSize size;
    QString text;
    bool hasIcon = false;
    QSize iconSize;
    bool frameless = false;
};

Seen lookAt(QDialog *dialog)
{
    Seen seen;
    seen.shown = dialog->isVisible();
    seen.pos = dialog->pos();
    seen.size = dialog->size();
    seen.text = dialog->findChild<QLabel *>(QStringLiteral("m_labelWarnText"))->text();
    const QPixmap icon = dialog->findChild<QLabel *>(QStringLiteral("m_labelWarnPicture"))->pixmap();
    seen.hasIcon = !icon.isNull();
    seen.iconSize = icon.size();
    seen.frameless = dialog->windowFlags() & Qt::FramelessWindowHint;
    return seen;
}

} // namespace

class TestWarningDialog final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        WarningDialog::setAutoCloseInterval(0);
    }

    void kindsMarkFieldAndShowIcon_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("state");     // expected `_state` afterwards
        QTest::addColumn<QString>("fieldIcon"); // expected small icon, empty: untouched
        QTest::addColumn<bool>("bubbleIcon");
        QTest::newRow("success") << 0 << QStringLiteral("Normal") << QString() << true;
        QTest::newRow("information") << 1 << QStringLiteral("Tip") << kSmallInfo << true;
        QTest::newRow("error") << 2 << QStringLiteral("Error") << kSmallError << true;
        QTest::newRow("unknown kind") << 7 << QStringLiteral("Normal") << QString() << false;
    }

    void kindsMarkFieldAndShowIcon()
    {
        QFETCH(int, kind);
        QFETCH(QString, state);
        QFETCH(QString, fieldIcon);
        QFETCH(bool, bubbleIcon);
        QWidget page;
        auto *field = new MultiStateLineEdit(&page);
        // The look follows `_state` at once (re-polished).
        field->setStyleSheet(QStringLiteral("QLineEdit[_state=\"Error\"] { color: #f74248; }"));
        QSignalSpy stateChanged(field, &MultiStateLineEdit::stateChanged);
        auto *hint = new QLabel(&page);
        page.show(); // polished while still Normal
        QVERIFY(field->palette().color(QPalette::Text) != QColor(QStringLiteral("#f74248")));
        Seen seen;
        TestSupport::onModal([&](QDialog *dialog) { seen = lookAt(dialog); });
        WarningDialog::showWarning(QPoint(100, 120), kind, QStringLiteral("Invalid IP address."), &page, field, hint);

        QVERIFY(seen.shown);
        QVERIFY(seen.frameless);
        QCOMPARE(seen.text, QStringLiteral("Invalid IP address."));
        QCOMPARE(seen.hasIcon, bubbleIcon);
        if (bubbleIcon)
            QCOMPARE(seen.iconSize, QSize(32, 32));
        QCOMPARE(seen.pos, QPoint(100, 120));
        QCOMPARE(seen.size, QSize(310, 120));

        // The mark outlives the bubble.
        QCOMPARE(field->stateName(), state);
        QCOMPARE(stateChanged.count(), state == QLatin1String("Normal") ? 0 : 1);
        if (fieldIcon.isEmpty())
            QVERIFY(hint->pixmap().isNull());
        else
            QVERIFY(samePixels(hint->pixmap(), fieldIcon));
        const bool red = field->palette().color(QPalette::Text) == QColor(QStringLiteral("#f74248"));
        QCOMPARE(red, state == QLatin1String("Error"));
    }

    // Without a line edit or without its icon label only the bubble shows.
    void fieldNeedsBothLineEditAndLabel()
    {
        MultiStateLineEdit field;
        QLabel hint;
        Seen withoutLabel;
        TestSupport::onModal([&](QDialog *dialog) { withoutLabel = lookAt(dialog); });
        WarningDialog::showWarning(QPoint(10, 10), WarningDialog::KindError, QStringLiteral("x"), nullptr, &field, nullptr);
        Seen withoutField;
        TestSupport::onModal([&](QDialog *dialog) { withoutField = lookAt(dialog); });
        WarningDialog::showWarning(QPoint(10, 10), WarningDialog::KindError, QStringLiteral("x"), nullptr, nullptr, &hint);
        QVERIFY(withoutLabel.shown && withoutLabel.hasIcon);
        QVERIFY(withoutField.shown && withoutField.hasIcon);
        QCOMPARE(field.state(), MultiStateLineEdit::NORMAL);
        QVERIFY(hint.pixmap().isNull());
    }

    void tallAndKeptOnScreen()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        Seen tall;
        TestSupport::onModal([&](QDialog *dialog) { tall = lookAt(dialog); });
        WarningDialog::showWarningTall(area.topLeft() + QPoint(5, 5), 2, QStringLiteral("long"), nullptr);
        QCOMPARE(tall.size, QSize(310, 160));
        QCOMPARE(tall.pos, area.topLeft() + QPoint(5, 5));

        Seen corner;
        TestSupport::onModal([&](QDialog *dialog) { corner = lookAt(dialog); });
        WarningDialog::showWarning(area.bottomRight() - QPoint(10, 10), 2, QStringLiteral("edge"), nullptr);
        QCOMPARE(corner.pos, area.bottomRight() + QPoint(1, 1) - QPoint(310, 120));

        Seen outside;
        TestSupport::onModal([&](QDialog *dialog) { outside = lookAt(dialog); });
        WarningDialog::showWarning(area.topLeft() - QPoint(500, 500), 2, QStringLiteral("off"), nullptr);
        QCOMPARE(outside.pos, area.topLeft());
    }

    void closesByItself()
    {
        QCOMPARE(int(WarningDialog::AutoCloseMilliseconds), 2000);
        WarningDialog::setAutoCloseInterval(30);
        // Watchdog only: it must not be needed.
        bool forced = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, this, [&] {
            forced = true;
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        watchdog.start(5000);
        WarningDialog::showWarning(QPoint(0, 0), 0, QStringLiteral("Succeed"), nullptr);
        watchdog.stop();
        QVERIFY(!forced);
    }

    void closesByButton()
    {
        int warnClosed = -1;
        bool closedByClick = false;
        TestSupport::onModal([&](QDialog *dialog) {
            QSignalSpy spy(dialog, SIGNAL(signalWarnClose()));
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("m_btnClose")), Qt::LeftButton);
            closedByClick = !dialog->isVisible();
            warnClosed = spy.count();
        });
        WarningDialog::showWarning(QPoint(0, 0), 1, QStringLiteral("Tip"), nullptr);
        QVERIFY(closedByClick);
        QCOMPARE(warnClosed, 1);
    }

    // A refusal beside a field being typed in: the typing goes on in the
    // field, the bubble stays until the user acts on it (edits the field),
    // and a newer one takes its place.
    void lastingBubbleLeavesTheKeyboardAlone()
    {
        QWidget page;
        auto *field = new MultiStateLineEdit(&page);
        auto *hint = new QLabel(&page);
        page.show();
        page.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&page));
        field->setFocus();
        WarningDialog::setAutoCloseInterval(1);
        QPointer<WarningDialog> first =
            WarningDialog::showLasting(QPoint(10, 10), WarningDialog::KindError, QStringLiteral("one"), &page);
        QPointer<WarningDialog> bubble = WarningDialog::showLasting(
            QPoint(10, 10), WarningDialog::KindError, QStringLiteral("Valid password range [8-16]."), &page, field, hint);
        QTRY_VERIFY(!first); // replaced, and gone
        QVERIFY(bubble && bubble->isVisible());
        QCOMPARE(WarningDialog::lastingBubble(), bubble.data());
        QCOMPARE(field->stateName(), QStringLiteral("Error"));
        QCOMPARE(QApplication::focusWidget(), field);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("x"));
        QCOMPARE(field->text(), QStringLiteral("x"));
        QTRY_VERIFY(!bubble);
    }
};

QTEST_MAIN(TestWarningDialog)
#include "tst_warningdialog.moc"
