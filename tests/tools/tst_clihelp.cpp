// vosktool-cli's help, version and command-line mistakes, through the
// program itself: none of them starts discovery, so no simulator and no
// network are needed.

#include "tools/cli/clihelp.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

Run cli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(VOSKTOOL_CLI_PATH), arguments);
    Run run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.code = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace

class TestCliHelp final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every command of the overview is one the program runs, and its help
    // is the same whichever way it is asked for.
    void helpPerCommand_data()
    {
        QTest::addColumn<QString>("command");
        for (const QString &command : CliHelp::commandNames())
            QTest::newRow(qPrintable(command)) << command;
    }

    void helpPerCommand()
    {
        QFETCH(QString, command);
        const Run viaHelp = cli({QStringLiteral("help"), command});
        QCOMPARE(viaHelp.code, 0);
        QCOMPARE(viaHelp.err, QString());
        QVERIFY2(viaHelp.out.startsWith(QStringLiteral("Usage: vosktool-cli %1").arg(command)),
                 qPrintable(viaHelp.out));
        for (const char *flag : {"--help", "-h"}) {
            const Run viaFlag = cli({command, QString::fromLatin1(flag)});
            QCOMPARE(viaFlag.code, 0);
            QCOMPARE(viaFlag.out, viaHelp.out);
        }
        const Run overview = cli({QStringLiteral("help")});
        QVERIFY(overview.out.contains(QRegularExpression(QStringLiteral("\\n  %1 +\\S").arg(command))));
        QVERIFY(cli({QStringLiteral("help"), QStringLiteral("--all")})
                    .out.contains(QStringLiteral("\nThe %1 command:\n  vosktool-cli %1").arg(command)));
    }

    // The help texts live apart from the commands' parsers: every option a
    // command's help names must be one its parser takes (an unknown option
    // fails before --help is looked at).
    void documentedOptionsAreTaken_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("option");
        static const QRegularExpression line(QStringLiteral("^  (--[a-z][a-z-]*)( \\S+)?(  |$)"),
                                             QRegularExpression::MultilineOption);
        for (const QString &command : CliHelp::commandNames()) {
            for (auto it = line.globalMatch(CliHelp::commandHelp(command)); it.hasNext();) {
                const QRegularExpressionMatch match = it.next();
                QStringList option{match.captured(1)};
                if (match.capturedLength(2) > 0)
                    option << QStringLiteral("x");
                QTest::addRow("%s %s", qPrintable(command), qPrintable(option.first())) << command << option;
            }
        }
    }

    void documentedOptionsAreTaken()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, option);
        const Run run = cli(QStringList{command} + option + QStringList{QStringLiteral("--help")});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QVERIFY(run.out.startsWith(QStringLiteral("Usage: vosktool-cli %1").arg(command)));
    }

    // And the other way round: an option a parser declares (in any source
    // file of the program) that no help names is a fault of the help.
    void declaredOptionsAreDocumented()
    {
        const QString help = CliHelp::allCommands();
        static const QRegularExpression declared(
            QStringLiteral("QCommandLineOption(?:\\s+\\w+)?\\s*[({]\\s*QStringLiteral\\(\"([a-z][a-z-]*)\"\\)"));
        const QDir sources(QStringLiteral(VOSKTOOL_CLI_SOURCES));
        int found = 0;
        for (const QString &name : sources.entryList({QStringLiteral("*.cpp")}, QDir::Files)) {
            QFile file(sources.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            for (auto it = declared.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext(); ++found) {
                const QString option = QStringLiteral("--") + it.next().captured(1);
                QVERIFY2(help.contains(QRegularExpression(QRegularExpression::escape(option) + QStringLiteral("\\b(?!-)"))),
                         qPrintable(name + QStringLiteral(" declares ") + option + QStringLiteral(", no help names it")));
            }
        }
        QVERIFY2(found > 10, "the option declarations were not found: has their form changed?");
    }

    void overviewIsShort()
    {
        for (const QStringList &arguments : {QStringList{QStringLiteral("help")}, QStringList{QStringLiteral("--help")},
                                             QStringList{QStringLiteral("-h")}}) {
            const Run run = cli(arguments);
            QCOMPARE(run.code, 0);
            QVERIFY(run.out.startsWith(QStringLiteral("Usage: vosktool-cli COMMAND")));
            QVERIFY2(run.out.count(QLatin1Char('\n')) < 40, qPrintable(run.out));
        }
    }

    // Help is read in an 80-column terminal and turned into the manual page.
    void linesFitTheTerminal()
    {
        const Run run = cli({QStringLiteral("help"), QStringLiteral("--all")});
        QCOMPARE(run.code, 0);
        for (const QString &line : run.out.split(QLatin1Char('\n')))
            QVERIFY2(line.size() <= 79 && !line.endsWith(QLatin1Char(' ')), qPrintable(line));
    }

    void version()
    {
        const Run word = cli({QStringLiteral("version")});
        const Run option = cli({QStringLiteral("--version")});
        QCOMPARE(word.code, 0);
        QCOMPARE(option.code, 0);
        QCOMPARE(option.out, word.out);
        QVERIFY2(QRegularExpression(QStringLiteral("^vosktool-cli \\d+\\.\\d+\\.\\d+\\n$")).match(word.out).hasMatch(),
                 qPrintable(word.out));
    }

    // A mistake gets one line in the program's style and one hint, on
    // standard error, and exit code 2; standard output stays empty.
    void mistakes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("hint");
        const QString overview = QStringLiteral("Try 'vosktool-cli help' for the list of commands.");
        QTest::newRow("no command") << QStringList{} << QStringLiteral("no command given") << overview;
        QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate"), QStringLiteral("--json")}
                                         << QStringLiteral("unknown command 'frobnicate'") << overview;
        QTest::newRow("typo") << QStringList{QStringLiteral("lsit")}
                              << QStringLiteral("unknown command 'lsit' (did you mean 'list'?)") << overview;
        QTest::newRow("option first") << QStringList{QStringLiteral("--json"), QStringLiteral("list")}
                                      << QStringLiteral("unknown option '--json' before the command") << overview;
        QTest::newRow("help for no command") << QStringList{QStringLiteral("help"), QStringLiteral("frobnicate")}
                                             << QStringLiteral("no help for 'frobnicate': not a command") << overview;
        QTest::newRow("help for a typo") << QStringList{QStringLiteral("help"), QStringLiteral("sett")}
                                         << QStringLiteral("no help for 'sett': not a command (did you mean 'set'?)")
                                         << overview;
        QTest::newRow("option typo") << QStringList{QStringLiteral("list"), QStringLiteral("--wiat"), QStringLiteral("1")}
                                     << QStringLiteral("unknown option 'wiat' (did you mean '--wait'?)")
                                     << QStringLiteral("Try 'vosktool-cli help list'.");
        QTest::newRow("option typo, the command's own")
            << QStringList{QStringLiteral("set"), QStringLiteral("X"), QStringLiteral("--ipv6-prefx"), QStringLiteral("64")}
            << QStringLiteral("unknown option 'ipv6-prefx' (did you mean '--ipv6-prefix'?)")
            << QStringLiteral("Try 'vosktool-cli help set'.");
        QTest::newRow("option of another command") << QStringList{QStringLiteral("list"), QStringLiteral("--dry-run")}
                                                   << QStringLiteral("unknown option 'dry-run'")
                                                   << QStringLiteral("Try 'vosktool-cli help list'.");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("list"), QStringLiteral("--colour")}
                                        << QStringLiteral("unknown option 'colour'")
                                        << QStringLiteral("Try 'vosktool-cli help list'.");
        QTest::newRow("missing value") << QStringList{QStringLiteral("batch"), QStringLiteral("plan.csv"),
                                                      QStringLiteral("--wait")}
                                       << QStringLiteral("missing value after '--wait'")
                                       << QStringLiteral("Try 'vosktool-cli help batch'.");
        QTest::newRow("value for a flag") << QStringList{QStringLiteral("batch"), QStringLiteral("--dry-run=yes")}
                                          << QStringLiteral("unexpected value after '--dry-run'")
                                          << QStringLiteral("Try 'vosktool-cli help batch'.");
        QTest::newRow("version with arguments") << QStringList{QStringLiteral("version"), QStringLiteral("x")}
                                                << QStringLiteral("version takes no arguments")
                                                << QStringLiteral("Try 'vosktool-cli help version'.");
    }

    void mistakes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QFETCH(QString, hint);
        const Run run = cli(arguments);
        QCOMPARE(run.code, 2);
        QCOMPARE(run.out, QString());
        QCOMPARE(run.err, QStringLiteral("vosktool-cli: %1\n%2\n").arg(error, hint));
    }

    void closestCommand_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("meant");
        QTest::newRow("letter missing") << QStringLiteral("lst") << QStringLiteral("list");
        QTest::newRow("letters swapped") << QStringLiteral("bacth") << QStringLiteral("batch");
        QTest::newRow("upper case") << QStringLiteral("LIST") << QStringLiteral("list");
        QTest::newRow("letter too many") << QStringLiteral("sett") << QStringLiteral("set");
        QTest::newRow("hyphen missing") << QStringLiteral("exportkeys") << QStringLiteral("export-keys");
        QTest::newRow("letters swapped, other near") << QStringLiteral("reste") << QStringLiteral("reset");
        QTest::newRow("as near to two") << QStringLiteral("rset") << QString();
        QTest::newRow("short and far") << QStringLiteral("xy") << QString();
        QTest::newRow("another word") << QStringLiteral("frobnicate") << QString();
        QTest::newRow("empty") << QString() << QString();
    }

    void closestCommand()
    {
        QFETCH(QString, typed);
        QFETCH(QString, meant);
        QCOMPARE(CliHelp::closestCommand(typed), meant);
    }
};

QTEST_GUILESS_MAIN(TestCliHelp)
#include "tst_clihelp.moc"
