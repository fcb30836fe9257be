#include <QDirIterator>
#include <QImage>
#include <QTest>

// Every drawing is rendered and embedded: each .png resource loads as an
// image with a size.
class TestResources final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyPngLoads()
    {
        int count = 0;
        QDirIterator it(QStringLiteral(":/"), {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.startsWith(QLatin1String(":/qt-project.org")))
                continue;
            const QImage image(path);
            QVERIFY2(!image.isNull(), qPrintable(path));
            QVERIFY2(image.width() > 0 && image.height() > 0, qPrintable(path));
            ++count;
        }
        QVERIFY(count > 0);
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
