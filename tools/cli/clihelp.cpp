#include "tools/cli/clihelp.h"

#include <QList>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

#ifndef VOSKTOOL_VERSION
#error "VOSKTOOL_VERSION is set by tools/cli/CMakeLists.txt"
#endif

namespace CliHelp {

namespace {

const QString kProgram = QStringLiteral("vosktool-cli");
// Help is read in an 80-column terminal; manual pages are made from it.
constexpr int kLineWidth = 79;
constexpr int kOptionIndent = 2;
constexpr int kMaxTypoDistance = 2;

struct Option
{
    QString names;
    QString text;
};

struct Command
{
    QString name;
    QString synopsis; // the arguments after the command's name
    QString summary;  // one line of the overview
    QString description;
    QList<Option> options;
};

const QList<Option> &commonOptions()
{
    static const QList<Option> options = {
        {QStringLiteral("--interfaces NAMES"),
         QStringLiteral("comma-separated network interfaces to use (default: VOSK_INTERFACES, else every "
                        "interface)")},
        {QStringLiteral("--wait MS"),
         QStringLiteral("how long to listen for devices, in milliseconds (default 3000); listening ends "
                        "sooner once the devices named are seen")},
        {QStringLiteral("--pick SERIAL@MAC|ADDRESS"),
         QStringLiteral("the device meant: SERIAL announcing MAC, or the ONVIF device listed at ADDRESS "
                        "(repeatable); one whose identity is in question gets nothing without it")},
        {QStringLiteral("-h, --help"), QStringLiteral("show this help")},
    };
    return options;
}

// The commands that reach ONVIF devices take these besides.
const Option kOnvifCredentials = {
    QStringLiteral("--onvif-credentials FILE"),
    QStringLiteral("every ONVIF device found is signed in with the user name on the first line of FILE and the "
                   "password on its second ('-' reads standard input; never on the command line), so that ONVIF "
                   "devices can be named by serial number; without it a command signs in only the ONVIF devices "
                   "it names by address or endpoint")};
const Option kProbe = {QStringLiteral("--probe A[-B]"),
                       QStringLiteral("also ask the address A, or the IPv4 addresses A to B, directly for ONVIF "
                                      "devices (another subnet, out of multicast's reach; repeatable, 4096 "
                                      "addresses at most)")};

const Option kAcceptCertificate = {
    QStringLiteral("--accept-certificate ENDPOINT|FINGERPRINT"),
    QStringLiteral("trust the new HTTPS certificate an ONVIF device shows, named by the device's endpoint "
                   "reference or the certificate's SHA-256 fingerprint (repeatable). A certificate other than "
                   "the one first seen for a device is otherwise refused, with both fingerprints on standard "
                   "error, and nothing is sent to the device")};

const QList<Command> &commands()
{
    static const QList<Command> table = {
        {QStringLiteral("list"), QStringLiteral("[--json|--csv [--raw]] [--watch] [--expect N]"),
         QStringLiteral("print the devices on the network"),
         QStringLiteral("Listens for devices, ours and ONVIF devices (WS-Discovery), and prints them in order "
                        "of serial number: a table, or CSV or JSON for scripts; the last field, protocol, says "
                        "\"vosk\" or \"onvif\". An ONVIF device shows what discovery says of it until it is "
                        "signed in (--onvif-credentials); a sign-in the device refuses is said on standard "
                        "error with the device named, and the exit code is then 1. Control characters in "
                        "device fields are escaped, and "
                        "a CSV cell starting with = + - @ gets a ' before it."),
         {{QStringLiteral("--json"), QStringLiteral("JSON output, an array of objects")},
          {QStringLiteral("--csv"), QStringLiteral("CSV output with a header line")},
          {QStringLiteral("--raw"), QStringLiteral("with --csv: the cells as the devices sent them")},
          {QStringLiteral("--watch"),
           QStringLiteral("print online, updated and offline events as they come, until interrupted; a "
                          "reader that falls behind gets each device's latest event")},
          {QStringLiteral("--expect N"), QStringLiteral("stop listening once N devices are seen")},
          kOnvifCredentials, kProbe, kAcceptCertificate}},
        {QStringLiteral("activate"), QStringLiteral("SERIAL... --password-file FILE [--parallel N]"),
         QStringLiteral("give new devices their first administrator password"),
         QStringLiteral("Activates the devices with the new administrator password on the first line of FILE "
                        "('-' reads standard input). The password follows the window's rule: 8 to 16 "
                        "characters of at least two kinds (digits, lower-case, upper-case, others), up to 64 "
                        "characters when every device named is an ONVIF device; it is checked once the devices "
                        "are found, and a password that breaks the rule sends nothing. An ONVIF "
                        "device in factory state, which has no serial number yet, is named by its IPv4 address "
                        "or endpoint (urn:uuid:...); it gets the administrator \"admin\" (or the user of "
                        "--onvif-credentials). An ONVIF device that offers HTTPS gets the password over it; one "
                        "that offers plain HTTP only gets it in clear, said on standard error for each such "
                        "device before anything is sent."),
         {{QStringLiteral("--password-file FILE"), QStringLiteral("the new password, on the first line of FILE")},
          {QStringLiteral("--parallel N"), QStringLiteral("devices asked at once (default 16)")},
          kOnvifCredentials, kProbe, kAcceptCertificate}},
        {QStringLiteral("set"),
         QStringLiteral("SERIAL [--ip A] [--mask M] [--gateway G] [--port P] [--http-port P] [--dhcp on|off] "
                        "[--ipv6 A6] [--ipv6-prefix N] [--ipv6-gateway G6] --password-file FILE "
                        "[--allow-conflicts] [--confirm-wait MS]"),
         QStringLiteral("change the network parameters of one device"),
         QStringLiteral("Changes the network parameters of one device; what is not given keeps the device's "
                        "value. Every value is checked as the window checks it before anything is sent, and an "
                        "address another device found holds is refused. The result says whether the device "
                        "then reported the new values (applied); one that did not (it still reports its old "
                        "values, or was not seen since) has failed. An ONVIF device is named by its address or "
                        "endpoint and signed in alone as \"admin\" with the administrator password, or by its "
                        "serial number once --onvif-credentials signed in every ONVIF device; the change is made "
                        "as that user, and one that restarts to apply it is waited for at its new address. "
                        "The IPv6 options are taken only by a device that reports its IPv6 parameters as "
                        "changeable (list's supportsIpv6Change), and not with DHCP on. An ONVIF device with "
                        "IPv4 off, reached over IPv6 alone, is asked for no IPv4 value and takes none of --ip, "
                        "--mask and --gateway."),
         {{QStringLiteral("--ip A"), QStringLiteral("new IPv4 address")},
          {QStringLiteral("--mask M"), QStringLiteral("new subnet mask")},
          {QStringLiteral("--gateway G"), QStringLiteral("new IPv4 gateway")},
          {QStringLiteral("--port P"), QStringLiteral("new device port")},
          {QStringLiteral("--http-port P"), QStringLiteral("new HTTP port")},
          {QStringLiteral("--ipv6 A6"), QStringLiteral("new IPv6 address")},
          {QStringLiteral("--ipv6-prefix N"), QStringLiteral("new IPv6 prefix length (0 to 127)")},
          {QStringLiteral("--ipv6-gateway G6"), QStringLiteral("new IPv6 gateway")},
          {QStringLiteral("--dhcp on|off"),
           QStringLiteral("switch DHCP on or off (with DHCP on the device takes its address from the DHCP "
                          "server: not with --ip)")},
          {QStringLiteral("--password-file FILE"),
           QStringLiteral("the device's administrator password, on the first line of FILE ('-' reads "
                          "standard input)")},
          {QStringLiteral("--allow-conflicts"), QStringLiteral("send even when an address would be given twice")},
          {QStringLiteral("--confirm-wait MS"),
           QStringLiteral("how long to wait for the device's report of the new values, in milliseconds "
                          "(default 5000)")},
          kOnvifCredentials, kProbe, kAcceptCertificate}},
        {QStringLiteral("batch"),
         QStringLiteral("PLAN.csv [--start A] [--mask M] [--gateway G] [--port P] [--http-port P] [--dhcp] "
                        "--password-file FILE [--dry-run] [--skip-missing] [--parallel N] [--allow-conflicts] "
                        "[--confirm-wait MS]"),
         QStringLiteral("change the network parameters of many devices from a plan"),
         QStringLiteral("PLAN.csv has one line per device: serial,ip,mask,gateway,port,http_port. A first "
                        "line starting with \"serial\" is a header; blank lines and lines starting with '#' "
                        "are skipped. An empty cell takes the option's value, an empty ip the next address "
                        "from --start; what is still empty keeps the device's value. The whole plan is "
                        "checked before anything is sent; a device not found refuses it unless "
                        "--skip-missing. ONVIF devices may be in the plan beside ours (no port for them), signed "
                        "in as with set."),
         {{QStringLiteral("--start A"), QStringLiteral("first address of the batch, counted up for each device "
                                                       "whose ip is empty")},
          {QStringLiteral("--mask M"), QStringLiteral("subnet mask where the plan gives none")},
          {QStringLiteral("--gateway G"), QStringLiteral("gateway where the plan gives none")},
          {QStringLiteral("--port P"), QStringLiteral("device port where the plan gives none")},
          {QStringLiteral("--http-port P"), QStringLiteral("HTTP port where the plan gives none")},
          {QStringLiteral("--dhcp"), QStringLiteral("switch every device to DHCP; no address is sent")},
          {QStringLiteral("--password-file FILE"),
           QStringLiteral("the devices' administrator password, on the first line of FILE; not needed with "
                          "--dry-run")},
          {QStringLiteral("--dry-run"), QStringLiteral("print what would be sent to each device, send nothing")},
          {QStringLiteral("--skip-missing"),
           QStringLiteral("leave out the devices not found (they use up no address) instead of refusing the "
                          "plan")},
          {QStringLiteral("--parallel N"), QStringLiteral("devices asked at once (default 16)")},
          {QStringLiteral("--allow-conflicts"), QStringLiteral("send even when an address would be given twice")},
          {QStringLiteral("--confirm-wait MS"),
           QStringLiteral("how long to wait for each device's report of the new values, in milliseconds "
                          "(default 5000)")},
          kOnvifCredentials, kProbe, kAcceptCertificate}},
        {QStringLiteral("passwd"),
         QStringLiteral("SERIAL...|--devices FILE --old-password-file FILE --password-file FILE [--parallel N]"),
         QStringLiteral("change the administrator password of activated devices"),
         QStringLiteral("Gives the devices the new administrator password on the first line of the "
                        "--password-file, authorised by their current one on the first line of the "
                        "--old-password-file ('-' reads standard input, for one of the two). The new password "
                        "follows the rule of activate and must differ from the old one; a password that breaks "
                        "the rule sends nothing. Afterwards the devices refuse the old password. A device that "
                        "refuses the old password reports it as wrong; after five wrong ones it is locked for a "
                        "while."),
         {{QStringLiteral("--old-password-file FILE"),
           QStringLiteral("the devices' current administrator password, on the first line of FILE")},
          {QStringLiteral("--password-file FILE"), QStringLiteral("the new password, on the first line of FILE")},
          {QStringLiteral("--devices FILE"),
           QStringLiteral("the devices, one a line: the serial number is the line's first CSV cell, so a batch "
                          "plan or the output of 'list --csv --raw' serves as it is")},
          {QStringLiteral("--parallel N"), QStringLiteral("devices asked at once (default 16)")},
          kAcceptCertificate}},
        {QStringLiteral("restore"), QStringLiteral("SERIAL --code-file FILE"),
         QStringLiteral("restore a device's default password with a security code"),
         QStringLiteral("Restores the default password of one device with the security code the reset "
                        "service gave for it. A device accepts a code once."),
         {{QStringLiteral("--code-file FILE"),
           QStringLiteral("the security code, on the first line of FILE ('-' reads standard input)")}}},
        {QStringLiteral("export-keys"), QStringLiteral("[SERIAL...] [--expect N]"),
         QStringLiteral("write the devices' reset key files for the reset service"),
         QStringLiteral("Writes the reset key file of each device (every device found, unless serial numbers "
                        "are given) to the working folder of the batch reset, ~/VoskReset, as the window's "
                        "Config Export does. Devices whose key cannot be read are listed in out_error.txt "
                        "there."),
         {{QStringLiteral("--expect N"), QStringLiteral("stop listening once N devices are seen")}}},
        {QStringLiteral("reset"), QStringLiteral("--answers DIR --password-file FILE [SERIAL...] [--expect N]"),
         QStringLiteral("reset passwords with the reset service's answer files"),
         QStringLiteral("Resets each device (every device found, unless serial numbers are given) to the new "
                        "password with its answer file from DIR, matched by serial number, as the window's "
                        "Config Reset does. Refused devices are listed in in_error.txt, devices without an "
                        "answer file in mismatch.txt, both in ~/VoskReset."),
         {{QStringLiteral("--answers DIR"), QStringLiteral("the folder of the answer files")},
          {QStringLiteral("--password-file FILE"),
           QStringLiteral("the new password, on the first line of FILE (the rule of activate)")},
          {QStringLiteral("--expect N"), QStringLiteral("stop listening once N devices are seen")}}},
        {QStringLiteral("help"), QStringLiteral("[COMMAND | --all]"),
         QStringLiteral("describe a command, or every command"),
         QStringLiteral("Prints the help of COMMAND (the same as 'vosktool-cli COMMAND --help'), of every "
                        "command with --all, or the overview."),
         {}},
        {QStringLiteral("version"), QString(), QStringLiteral("print the version (also --version)"),
         QStringLiteral("Prints the program's name and version."), {}},
    };
    return table;
}

const Command *findCommand(const QString &name)
{
    const QList<Command> &table = commands();
    const auto found = std::find_if(table.cbegin(), table.cend(),
                                    [&name](const Command &command) { return command.name == name; });
    return found == table.cend() ? nullptr : &*found;
}

// Words of `text` in lines of at most kLineWidth columns, each after
// `indent` spaces; the first line starts at `firstColumn` instead when
// given (a caller has written that much of it). A word longer than a line
// gets one of its own.
QString wrap(const QString &text, int indent, int firstColumn = -1)
{
    QString out;
    int column = firstColumn < 0 ? indent : firstColumn;
    if (firstColumn < 0)
        out += QString(indent, QLatin1Char(' '));
    bool lineEmpty = true;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!lineEmpty && column + 1 + word.size() > kLineWidth) {
            out += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += QLatin1Char(' ');
            ++column;
        }
        out += word;
        column += int(word.size());
        lineEmpty = false;
    }
    return out + QLatin1Char('\n');
}

// The column of the option texts: after the longest name of the lists
// shown together, up to a limit.
int textColumnFor(std::initializer_list<const QList<Option> *> lists)
{
    int nameWidth = 0;
    for (const QList<Option> *options : lists) {
        for (const Option &option : *options)
            nameWidth = std::max(nameWidth, int(option.names.size()));
    }
    return kOptionIndent + std::min(nameWidth, 24) + 2;
}

// Option lines "  --name ARG   text", the texts in one column (a name too
// long for it has its text on the next line).
QString optionLines(const QList<Option> &options, int textColumn)
{
    QString out;
    for (const Option &option : options) {
        QString head = QString(kOptionIndent, QLatin1Char(' ')) + option.names;
        if (head.size() + 2 > textColumn) {
            out += head + QLatin1Char('\n');
            out += wrap(option.text, textColumn);
        } else {
            out += head.leftJustified(textColumn, QLatin1Char(' '));
            out += wrap(option.text, textColumn, textColumn);
        }
    }
    return out;
}

// A synopsis broken between its words, never inside "[--port P]".
QStringList synopsisWords(const QString &synopsis)
{
    QStringList words;
    QString word;
    int depth = 0;
    for (const QChar c : synopsis) {
        if (c == QLatin1Char(' ') && depth == 0) {
            if (!word.isEmpty())
                words << word;
            word.clear();
            continue;
        }
        depth += c == QLatin1Char('[') ? 1 : c == QLatin1Char(']') ? -1 : 0;
        word += c == QLatin1Char(' ') ? QChar(0xa0) : c;
    }
    if (!word.isEmpty())
        words << word;
    return words;
}

QString closing()
{
    return QStringLiteral("Results go to standard output, one line per device (serial number, a tab, the\n"
                          "result); progress and errors go to standard error.\n"
                          "\n"
                          "Exit status:\n"
                          "  0  every device done\n"
                          "  1  some device failed, or discovery could not start\n"
                          "  2  bad input: nothing was sent to any device\n");
}

QString usageLine(const Command &command)
{
    const QString head = QStringLiteral("Usage: %1 %2").arg(kProgram, command.name);
    if (command.synopsis.isEmpty())
        return head + QLatin1Char('\n');
    // Continuation lines indented under the command's name; a group such
    // as "[--port P]" stays on one line (its blank is a no-break space
    // until the line is made).
    const int indent = kOptionIndent + 4;
    QString line = wrap(synopsisWords(command.synopsis).join(QLatin1Char(' ')), indent, int(head.size()) + 1);
    line.replace(QChar(0xa0), QLatin1Char(' '));
    return head + QLatin1Char(' ') + line;
}

QString helpOf(const Command &command)
{
    QString out = usageLine(command);
    out += QLatin1Char('\n') + wrap(command.description, 0);
    const bool network = command.name != QLatin1String("help") && command.name != QLatin1String("version");
    const int column = textColumnFor({&command.options, &commonOptions()});
    if (!command.options.isEmpty())
        out += QStringLiteral("\nOptions:\n") + optionLines(command.options, column);
    if (network)
        out += QStringLiteral("\nOptions of every command:\n") + optionLines(commonOptions(), column);
    return out;
}

// Edits between two words, a swap of neighbours counting as one: the
// usual typing mistakes (optimal string alignment distance).
int editDistance(const QString &a, const QString &b)
{
    const int rows = int(a.size()) + 1;
    const int columns = int(b.size()) + 1;
    std::vector<int> d(size_t(rows) * size_t(columns));
    auto at = [&d, columns](int i, int j) -> int & { return d[size_t(i) * size_t(columns) + size_t(j)]; };
    for (int i = 0; i < rows; ++i)
        at(i, 0) = i;
    for (int j = 0; j < columns; ++j)
        at(0, j) = j;
    for (int i = 1; i < rows; ++i) {
        for (int j = 1; j < columns; ++j) {
            const int cost = a.at(i - 1) == b.at(j - 1) ? 0 : 1;
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + cost});
            if (i > 1 && j > 1 && a.at(i - 1) == b.at(j - 2) && a.at(i - 2) == b.at(j - 1))
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
        }
    }
    return at(rows - 1, columns - 1);
}

// The word of `words` a mistyped one most likely meant: the nearest by edit
// distance, if at most two edits away and nearer than every other.
QString closestWord(const QString &typed, const QStringList &words)
{
    QString best;
    int bestDistance = kMaxTypoDistance + 1;
    bool tie = false;
    for (const QString &word : words) {
        if (word == best)
            continue;
        const int distance = editDistance(typed, word);
        if (distance < bestDistance) {
            best = word;
            bestDistance = distance;
            tie = false;
        } else if (distance == bestDistance) {
            tie = true;
        }
    }
    // A two-letter typo of a four-letter word is a different word; and
    // when two words are as near, guessing one would mislead.
    if (best.isEmpty() || tie || bestDistance >= best.size() / 2 + 1)
        return QString();
    return best;
}

} // namespace

QString overview()
{
    QString out = QStringLiteral("Usage: %1 COMMAND [ARGUMENTS] [OPTIONS]\n").arg(kProgram);
    out += wrap(QStringLiteral("Finds and sets up network video devices from scripts, as the VOSK Tool window "
                               "does."),
                0);
    QList<Option> lines;
    for (const Command &command : commands())
        lines.append({command.name, command.summary});
    out += QStringLiteral("\nCommands:\n") + optionLines(lines, textColumnFor({&lines}));
    out += QStringLiteral("\nOptions of every command:\n")
        + optionLines(commonOptions(), textColumnFor({&commonOptions()}));
    out += QLatin1Char('\n') + closing() + QLatin1Char('\n');
    out += wrap(QStringLiteral("'%1 help COMMAND' or '%1 COMMAND --help' describes a command, '%1 help --all' "
                               "every command.")
                    .arg(kProgram),
                0);
    return out;
}

QString commandHelp(const QString &command)
{
    const Command *found = findCommand(command);
    return found ? helpOf(*found) : QString();
}

QString allCommands()
{
    // One headed section per command, without "Options:" (help2man makes
    // that the page's OPTIONS section, which would swallow the commands
    // after it) and without the options the overview gave already.
    QString out = overview();
    for (const Command &command : commands()) {
        out += QStringLiteral("\nThe %1 command:\n").arg(command.name);
        QString synopsis = synopsisWords(command.synopsis).join(QLatin1Char(' '));
        synopsis = wrap(kProgram + QLatin1Char(' ') + command.name + QLatin1Char(' ') + synopsis, kOptionIndent);
        out += synopsis.replace(QChar(0xa0), QLatin1Char(' '));
        out += QLatin1Char('\n') + wrap(command.description, kOptionIndent);
        if (!command.options.isEmpty())
            out += QLatin1Char('\n') + optionLines(command.options, textColumnFor({&command.options}));
    }
    return out;
}

QStringList commandNames()
{
    QStringList names;
    for (const Command &command : commands())
        names << command.name;
    return names;
}

QString versionText()
{
    return QStringLiteral("%1 %2\n").arg(kProgram, QStringLiteral(VOSKTOOL_VERSION));
}

QString errorLine(const QString &message)
{
    return QStringLiteral("%1: %2\n").arg(kProgram, message);
}

QString parserError(const QString &parserText)
{
    // Qt words its errors as sentences ("Unknown option 'x'.", "Missing
    // value after '--wait'."); every other message here is lower-case
    // without a full stop.
    QString text = parserText.trimmed();
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.isEmpty() && text.size() > 1 && !text.at(1).isUpper())
        text[0] = text.at(0).toLower();
    return text;
}

QString hint(const QString &command)
{
    if (findCommand(command))
        return QStringLiteral("Try '%1 help %2'.\n").arg(kProgram, command);
    return QStringLiteral("Try '%1 help' for the list of commands.\n").arg(kProgram);
}

QString closestCommand(const QString &typed)
{
    return closestWord(typed.toLower(), commandNames());
}

QString closestOption(const QString &command, const QString &typed)
{
    // Qt names an unknown option without its dashes; the user typed them.
    QString word = typed;
    while (word.startsWith(QLatin1Char('-')))
        word.remove(0, 1);
    if (word.isEmpty())
        return QString();
    QStringList names;
    const Command *found = findCommand(command);
    for (const QList<Option> *options : {found ? &found->options : nullptr, &commonOptions()}) {
        if (!options)
            continue;
        for (const Option &option : *options) {
            // "-h, --help", "--ip A", "--dhcp on|off": the long names.
            static const QRegularExpression longName(QStringLiteral("--([a-z0-9][a-z0-9-]*)"));
            for (auto it = longName.globalMatch(option.names); it.hasNext();)
                names << it.next().captured(1);
        }
    }
    const QString best = closestWord(word, names);
    return best.isEmpty() ? best : QStringLiteral("--") + best;
}

} // namespace CliHelp
