#include "aptui/cchasedialog.h"
#include "tests/support/modaldriver.h"

#include <QMovie>
#include <QTest>
#include <QThread>

using TarnGUIToolkit::CChaseDialog;

namespace {

const QString kLoading = QStringLiteral(":/CommonSkin/Loading/Images/Public/Control/Loading/Loading.gif");

// Ends a modal loop that did not end by itself, and says so.
class Watchdog final : public QObject
{
public:
    explicit Watchdog(int ms)
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            fired = true;
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                dialog->done(QDialog::Rejected);
        });
        m_timer.start(ms);
    }
    bool fired = false;

private:
    QTimer m_timer;
};

} // namespace

class TestCChaseDialog final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void workerFinishedEndsWait_data()
    {
        QTest::addColumn<int>("workMs");
        QTest::addColumn<bool>("deliverBeforeExec"); // run the queued slot before exec()
        QTest::addColumn<bool>("direct");            // slot called on the worker thread
        QTest::newRow("ends during exec") << 50 << false << false;
        QTest::newRow("ended, slot pending") << 0 << false << false;
        QTest::newRow("ended, slot already ran") << 0 << true << false;
        QTest::newRow("direct call from worker") << 50 << false << true;
        QTest::newRow("direct call, before exec") << 0 << true << true;
    }

    void workerFinishedEndsWait()
    {
        QFETCH(int, workMs);
        QFETCH(bool, deliverBeforeExec);
        QFETCH(bool, direct);
        CChaseDialog dialog(nullptr, kLoading, QStringLiteral("Loading..."), false);
        QThread *worker = QThread::create([workMs] { QThread::msleep(workMs); });
        connect(worker, &QThread::finished, &dialog, &CChaseDialog::OnImmediatelyStopChase,
                direct ? Qt::DirectConnection : Qt::AutoConnection);
        worker->start();
        if (workMs == 0) {
            QVERIFY(worker->wait(5000));
            if (deliverBeforeExec)
                QCoreApplication::processEvents();
        }
        Watchdog watchdog(5000);
        const int result = dialog.exec();
        QVERIFY(worker->wait(5000));
        delete worker;
        QVERIFY(!watchdog.fired);
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    }

    void escapeOnlyWhenAllowed_data()
    {
        QTest::addColumn<bool>("userCanClose");
        QTest::newRow("work must finish") << false;
        QTest::newRow("user may close") << true;
    }

    void escapeOnlyWhenAllowed()
    {
        QFETCH(bool, userCanClose);
        CChaseDialog dialog(nullptr, kLoading, QStringLiteral("Loading..."), userCanClose);
        bool openAfterEscape = false;
        bool openAfterClose = false;
        TestSupport::onModal([&](QDialog *modal) {
            QTest::keyClick(modal, Qt::Key_Escape);
            openAfterEscape = modal->isVisible();
            modal->close();
            openAfterClose = modal->isVisible();
        });
        dialog.exec();
        QCOMPARE(openAfterEscape, !userCanClose);
        QCOMPARE(openAfterClose, !userCanClose);
    }

    // Our own drawing: eight frames, the accent-coloured head going round.
    void animationIsRealGif()
    {
        CChaseDialog dialog(nullptr, kLoading, QStringLiteral("Loading..."));
        QMovie *movie = dialog.movie();
        QVERIFY(movie && movie->isValid());
        QCOMPARE(movie->format(), QByteArray("gif"));
        QCOMPARE(movie->frameCount(), 8);
        QVERIFY(movie->jumpToFrame(0));
        const QImage first = movie->currentImage();
        QCOMPARE(first.size(), QSize(48, 48));
        QCOMPARE(first.pixelColor(23, 7), QColor(QStringLiteral("#f74248")));  // head at the top
        QCOMPARE(first.pixelColor(23, 23).alpha(), 0);                         // transparent centre
        QVERIFY(movie->jumpToNextFrame());
        QVERIFY(movie->jumpToNextFrame());
        const QImage third = movie->currentImage();
        QCOMPARE(third.pixelColor(39, 23), QColor(QStringLiteral("#f74248"))); // a quarter turn on
        QVERIFY(third.pixelColor(23, 7) != QColor(QStringLiteral("#f74248")));
        QCOMPARE(dialog.text(), QStringLiteral("Loading..."));
    }
};

QTEST_MAIN(TestCChaseDialog)
#include "tst_cchasedialog.moc"
