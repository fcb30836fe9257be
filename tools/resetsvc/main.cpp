// vosk-resetsvc: plays the maker's password-reset service on the command
// line.
//   vosk-resetsvc answer --key-file KEY.xml [--out ANSWER.xml]
//   vosk-resetsvc answer --qr "TYPE**V2.…"  [--out ANSWER.xml]
//       prints the typed answer text; --out also writes an answer file
//   vosk-resetsvc answer --key-dir KEYS --out-dir ANSWERS
//       answers every key file of a folder (the batch export's), each
//       answer file named like its key file
//   vosk-resetsvc code --qr "A:TYPE**SERIAL" [--day N]
//       prints the security code for a restore QR text

#include "tools/resetsvc/resetauthority.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

using VoskReset::ResetAuthority;

namespace {

int failWith(const QString &message)
{
    std::fprintf(stderr, "vosk-resetsvc: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vosk-resetsvc"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stand-in for the password-reset service."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("action"), QStringLiteral("answer | code"));
    const QCommandLineOption keyFile(QStringLiteral("key-file"), QStringLiteral("Exported device key file."),
                                     QStringLiteral("file"));
    const QCommandLineOption qr(QStringLiteral("qr"), QStringLiteral("Text of the device's QR code."),
                                QStringLiteral("text"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("Write an answer file."),
                                 QStringLiteral("file"));
    const QCommandLineOption day(QStringLiteral("day"), QStringLiteral("Day of issue (days since 1970, UTC)."),
                                 QStringLiteral("n"));
    const QCommandLineOption keyDir(QStringLiteral("key-dir"), QStringLiteral("Folder of exported key files."),
                                    QStringLiteral("folder"));
    const QCommandLineOption outDir(QStringLiteral("out-dir"), QStringLiteral("Folder for the answer files."),
                                    QStringLiteral("folder"));
    parser.addOptions({keyFile, qr, out, day, keyDir, outDir});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    const ResetAuthority authority;
    if (args.value(0) == QLatin1String("answer") && parser.isSet(keyDir)) {
        if (!parser.isSet(outDir))
            return failWith(QStringLiteral("--key-dir needs --out-dir"));
        const QDir keys(parser.value(keyDir));
        QDir answers(parser.value(outDir));
        if (!keys.exists())
            return failWith(QStringLiteral("no folder %1").arg(keys.path()));
        // Answers beside their keys would be matched by the same serial
        // number as the keys: keep them apart.
        if (keys.canonicalPath() == QDir(answers.absolutePath()).canonicalPath())
            return failWith(QStringLiteral("--out-dir must not be the key folder"));
        if (!answers.mkpath(QStringLiteral(".")))
            return failWith(QStringLiteral("cannot make %1").arg(answers.path()));
        int answered = 0;
        for (const QFileInfo &info : keys.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase)) {
            QFile file(info.absoluteFilePath());
            const auto key = file.open(QIODevice::ReadOnly) ? ResetAuthority::findDeviceKey(file.read(4096))
                                                             : std::nullopt;
            if (!key) {
                std::fprintf(stderr, "vosk-resetsvc: no device key in %s, skipped\n", qPrintable(info.fileName()));
                continue;
            }
            QSaveFile target(answers.filePath(info.fileName()));
            if (!target.open(QIODevice::WriteOnly)
                || target.write(ResetAuthority::answerFile(authority.makeAnswer(*key), key->serial)) < 0
                || !target.commit())
                return failWith(QStringLiteral("cannot write %1").arg(target.fileName()));
            std::printf("%s: %s\n", qPrintable(info.fileName()), key->serial.constData());
            ++answered;
        }
        return answered > 0 ? 0 : failWith(QStringLiteral("no key file in %1").arg(keys.path()));
    }
    if (args.value(0) == QLatin1String("answer")) {
        QByteArray text;
        if (parser.isSet(keyFile)) {
            QFile file(parser.value(keyFile));
            if (!file.open(QIODevice::ReadOnly))
                return failWith(QStringLiteral("cannot read %1").arg(file.fileName()));
            text = file.read(4096);
        } else if (parser.isSet(qr)) {
            text = parser.value(qr).toLatin1();
        } else {
            return failWith(QStringLiteral("answer needs --key-file or --qr"));
        }
        const auto key = ResetAuthority::findDeviceKey(text);
        if (!key)
            return failWith(QStringLiteral("no device key found"));
        const QByteArray answer = authority.makeAnswer(*key);
        if (parser.isSet(out)) {
            QSaveFile file(parser.value(out));
            if (!file.open(QIODevice::WriteOnly))
                return failWith(QStringLiteral("cannot write %1").arg(file.fileName()));
            file.write(ResetAuthority::answerFile(answer, key->serial));
            if (!file.commit())
                return failWith(QStringLiteral("cannot write %1").arg(file.fileName()));
        }
        std::printf("%s\n", answer.constData());
        return 0;
    }
    if (args.value(0) == QLatin1String("code")) {
        if (!parser.isSet(qr))
            return failWith(QStringLiteral("code needs --qr"));
        qint64 when = ResetAuthority::dayOf(QDateTime::currentSecsSinceEpoch());
        if (parser.isSet(day))
            when = parser.value(day).toLongLong();
        const QByteArray code = authority.makeSecurityCode(parser.value(qr).toLatin1(), when);
        if (code.isEmpty())
            return failWith(QStringLiteral("not a restore QR text (\"A:\" type \"**\" serial)"));
        std::printf("%s\n", code.constData());
        return 0;
    }
    parser.showHelp(2);
}
