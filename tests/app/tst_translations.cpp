#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

// Every text the program shows through tr() has a natural Chinese
// translation. The test extracts the texts from the sources itself (with
// lupdate), so a text added without updating the .ts files fails here too.
class TestTranslations final : public QObject
{
    Q_OBJECT

private:
    struct Message {
        QString context;
        QString source;
        QString comment;
        QStringList translations; // one, or one per numerus form
        QString type;             // "", "unfinished", "vanished", "obsolete"
    };
    using Catalogue = QHash<QString, Message>;

    QTemporaryDir m_dir;

    static QString key(const QString &context, const QString &source, const QString &comment)
    {
        return context + QChar(0) + source + QChar(0) + comment;
    }

    static Catalogue read(const QString &path)
    {
        Catalogue catalogue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return catalogue;
        QXmlStreamReader xml(&file);
        QString context;
        Message message;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                const auto name = xml.name();
                if (name == QLatin1String("name")) {
                    context = xml.readElementText();
                } else if (name == QLatin1String("message")) {
                    message = Message();
                    message.context = context;
                } else if (name == QLatin1String("source")) {
                    message.source = xml.readElementText();
                } else if (name == QLatin1String("comment")) {
                    message.comment = xml.readElementText();
                } else if (name == QLatin1String("translation")) {
                    message.type = xml.attributes().value(QLatin1String("type")).toString();
                    // Either plain text or <numerusform> children.
                    QString text;
                    while (!xml.atEnd()) {
                        xml.readNext();
                        if (xml.isCharacters())
                            text += xml.text();
                        else if (xml.isStartElement() && xml.name() == QLatin1String("numerusform"))
                            message.translations.append(xml.readElementText());
                        else if (xml.isEndElement() && xml.name() == QLatin1String("translation"))
                            break;
                    }
                    if (message.translations.isEmpty())
                        message.translations.append(text);
                }
            } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
                catalogue.insert(key(message.context, message.source, message.comment), message);
            }
        }
        return catalogue;
    }

    // The texts of the given source folders as lupdate finds them now.
    Catalogue extract(const QStringList &dirs, const QString &name)
    {
        const QString out = m_dir.filePath(name);
        QStringList args{QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"),
                         QStringLiteral("-I"), QStringLiteral(VOSKTOOL_SOURCE_DIR)};
        for (const QString &dir : dirs) {
            const QString path = QStringLiteral(VOSKTOOL_SOURCE_DIR "/") + dir;
            if (QFileInfo::exists(path))
                args.append(path);
        }
        args << QStringLiteral("-ts") << out;
        QProcess lupdate;
        lupdate.start(QStringLiteral(VOSKTOOL_LUPDATE), args);
        if (!lupdate.waitForFinished(120000) || lupdate.exitCode() != 0)
            qWarning() << "lupdate failed" << lupdate.readAllStandardError();
        return read(out);
    }

    static QSet<QString> placeholders(const QString &text)
    {
        static const QRegularExpression marker(QStringLiteral("%L?\\d+|%n"));
        QSet<QString> found;
        for (auto it = marker.globalMatch(text); it.hasNext();)
            found.insert(it.next().captured().remove(QLatin1Char('L')));
        return found;
    }

    static bool hasHan(const QString &text)
    {
        static const QRegularExpression han(QStringLiteral("\\p{Han}"));
        return han.match(text).hasMatch();
    }

    // Every extracted text is translated, finished, and keeps its
    // placeholders; a translation without any Chinese of a text with a
    // lower-case word is suspicious too (left in English by mistake).
    // Acronyms alone ("IPv4 DHCP", "MAC") may stay as they are.
    static QStringList problems(const Catalogue &extracted, const Catalogue &committed)
    {
        QStringList found;
        for (const Message &wanted : extracted) {
            const QString where = wanted.context + QStringLiteral(" / \"") + wanted.source + QLatin1Char('"');
            const auto it = committed.constFind(key(wanted.context, wanted.source, wanted.comment));
            if (it == committed.constEnd()) {
                found << QStringLiteral("missing: ") + where;
                continue;
            }
            if (!it->type.isEmpty()) {
                found << it->type + QStringLiteral(": ") + where;
                continue;
            }
            for (const QString &translation : it->translations) {
                if (translation.trimmed().isEmpty())
                    found << QStringLiteral("empty: ") + where;
                else if (placeholders(translation) != placeholders(wanted.source))
                    found << QStringLiteral("placeholders differ: ") + where;
                else if (!hasHan(translation) && wanted.source.contains(QRegularExpression(QStringLiteral("[a-z]{3}"))))
                    found << QStringLiteral("not Chinese: ") + where;
            }
        }
        return found;
    }

    static QString ts(const char *name)
    {
        return QStringLiteral(VOSKTOOL_SOURCE_DIR "/resources/translations/") + QLatin1String(name);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void everyTextHasAChineseTranslation()
    {
        const QStringList dirs = QStringLiteral(VOSKTOOL_TEXT_DIRS).split(QLatin1Char(','));
        const Catalogue extracted = extract(dirs, QStringLiteral("all.ts"));
        QVERIFY(!extracted.isEmpty());
        const QStringList found = problems(extracted, read(ts("vosktool_zh.ts")));
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))
                                             + QStringLiteral("\n(update: cmake --build build --target "
                                                              "update_translations, then translate)")));
    }

    void toolkitFileIsCompleteAndAgrees()
    {
        const Catalogue extracted = extract({QStringLiteral("aptui")}, QStringLiteral("toolkit.ts"));
        const Catalogue toolkit = read(ts("TarnGUIToolkit_zh.ts"));
        const QStringList found = problems(extracted, toolkit);
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
        // The toolkit file is searched first; it must not say something
        // else than the tool's file for the same text.
        const Catalogue tool = read(ts("vosktool_zh.ts"));
        for (auto it = toolkit.constBegin(); it != toolkit.constEnd(); ++it) {
            const auto other = tool.constFind(it.key());
            if (other != tool.constEnd() && other->type.isEmpty())
                QCOMPARE(it->translations, other->translations);
        }
    }

    // Texts written in Chinese in the sources need an English side.
    void chineseSourceTextsHaveEnglish()
    {
        const Catalogue english = read(ts("vosktool_en.ts"));
        QVERIFY(!english.isEmpty() || QFileInfo::exists(ts("vosktool_en.ts")));
        for (const Message &message : english) {
            if (!hasHan(message.source))
                continue;
            QVERIFY2(message.type.isEmpty() && !message.translations.value(0).isEmpty()
                         && !hasHan(message.translations.value(0)),
                     qPrintable(message.context + QStringLiteral(" / ") + message.source));
        }
    }

    void filesBesideTheProgram_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"vosktool_en.qm", "vosktool_zh.qm", "TarnGUIToolkit_zh.qm", "DeviceMonitor_en.qm",
                                 "qt_zh_CN.qm", "qtbase_zh_CN.qm", "qtmultimedia_zh_CN.qm"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void filesBesideTheProgram()
    {
        QFETCH(QString, name);
        QVERIFY(QFileInfo(QStringLiteral(VOSKTOOL_RUNTIME_DIR "/translations/") + name).size() > 0);
    }
};

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
