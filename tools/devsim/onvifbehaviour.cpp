#include "tools/devsim/onvifbehaviour.h"

#include <QRegularExpression>
#include <QUrl>

#include <random>

namespace VoskSim {

namespace {

constexpr int kMaxDelayMs = 60000;
constexpr qint64 kMaxClockOffset = 7 * 24 * 3600;

// Parses "[+-]N[h|m|s]" (seconds without a unit).
std::optional<qint64> parseOffset(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^([+-]?)(\\d{1,7})([hms]?)$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    qint64 value = m.captured(2).toLongLong();
    const QString unit = m.captured(3);
    value *= unit == QLatin1String("h") ? 3600 : unit == QLatin1String("m") ? 60 : 1;
    if (m.captured(1) == QLatin1String("-"))
        value = -value;
    if (value < -kMaxClockOffset || value > kMaxClockOffset)
        return std::nullopt;
    return value;
}

// "SEED/INDEX": device INDEX of the fleet made with SEED.
std::optional<OnvifBehaviour::Borrowed> parseBorrowed(const QString &value)
{
    const QStringList parts = value.split(QLatin1Char('/'));
    bool seedOk = false, indexOk = false;
    OnvifBehaviour::Borrowed b;
    if (parts.size() != 2)
        return std::nullopt;
    b.seed = parts.at(0).toULongLong(&seedOk);
    b.index = parts.at(1).toInt(&indexOk);
    if (!seedOk || !indexOk || b.index < 0 || b.index > 99999)
        return std::nullopt;
    return b;
}

bool validItem(const QString &item)
{
    static const QStringList flags{QStringLiteral("plain"),       QStringLiteral("factory"),
                                   QStringLiteral("reboot"),      QStringLiteral("silent"),
                                   QStringLiteral("faults"),      QStringLiteral("ipv6only"),
                                   QStringLiteral("open"),        QStringLiteral("hiddenusers"),
                                   QStringLiteral("notapplied"),  QStringLiteral("gatewaynoop"),
                                   QStringLiteral("ipv6off"),     QStringLiteral("https")};
    if (flags.contains(item))
        return true;
    const qsizetype eq = item.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    const QString key = item.left(eq);
    const QString value = item.mid(eq + 1);
    if (key == QLatin1String("factory") || key == QLatin1String("https"))
        return value == QLatin1String("quiet");
    if (key == QLatin1String("faults"))
        return !value.isEmpty() && value.size() <= 4096;
    if (key == QLatin1String("auth"))
        return value == QLatin1String("both") || value == QLatin1String("digest") || value == QLatin1String("wsse");
    if (key == QLatin1String("clock"))
        return parseOffset(value).has_value();
    if (key == QLatin1String("hostile"))
        return QStringList{QStringLiteral("oversized"), QStringLiteral("nested"), QStringLiteral("entities"),
                           QStringLiteral("namespace")}
            .contains(value);
    if (key == QLatin1String("endpoint") || key == QLatin1String("twin"))
        return parseBorrowed(value).has_value();
    if (key == QLatin1String("xaddr")) {
        static const QRegularExpression host(QStringLiteral("^[A-Za-z0-9.:-]{1,253}$"));
        return host.match(value).hasMatch();
    }
    if (key == QLatin1String("slow")) {
        bool ok = false;
        const int ms = value.toInt(&ok);
        return ok && ms >= 0 && ms <= kMaxDelayMs;
    }
    return false;
}

} // namespace

OnvifBehaviour OnvifBehaviour::seeded(quint64 seed, int index)
{
    OnvifBehaviour b;
    if (index == 0)
        return b;
    std::mt19937_64 rng(seed * 0x9E3779B97F4A7C15ull + quint64(index) * 0xC2B2AE3D27D4EB4Full + 0x0171F);
    std::uniform_int_distribution<int> percent(0, 99);
    const int auth = percent(rng);
    b.auth = auth < 50 ? Auth::Both : auth < 75 ? Auth::Digest : Auth::UsernameToken;
    if (percent(rng) < 20) {
        const int hours = std::uniform_int_distribution<int>(1, 9)(rng);
        b.clockOffsetSeconds = (percent(rng) < 50 ? -1 : 1) * (hours * 3600 + std::uniform_int_distribution<int>(0, 3599)(rng));
    }
    b.factory = percent(rng) < 15;
    b.rebootNeeded = percent(rng) < 30;
    if (percent(rng) < 10)
        b.delayMs = std::uniform_int_distribution<int>(800, 2500)(rng);
    b.silent = percent(rng) < 3;
    b.faults = !b.silent && percent(rng) < 3;
    return b;
}

void OnvifBehaviour::Rule::apply(OnvifBehaviour &b) const
{
    for (const QString &item : items) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        const QString key = eq < 0 ? item : item.left(eq);
        const QString value = eq < 0 ? QString() : item.mid(eq + 1);
        if (key == QLatin1String("plain")) {
            b = OnvifBehaviour();
        } else if (key == QLatin1String("factory")) {
            b.factory = true;
            b.stateScopes = value != QLatin1String("quiet");
            // Without the scopes, its anonymous answers are all that says
            // it has no user: it takes every request, as the standard lets it.
            if (!b.stateScopes)
                b.open = true;
        } else if (key == QLatin1String("open")) {
            b.open = true;
        } else if (key == QLatin1String("hiddenusers")) {
            b.hiddenUsers = true;
        } else if (key == QLatin1String("notapplied")) {
            b.interfaceNotApplied = true;
        } else if (key == QLatin1String("gatewaynoop")) {
            b.gatewayNotApplied = true;
        } else if (key == QLatin1String("ipv6off")) {
            b.ipv6Off = true;
        } else if (key == QLatin1String("reboot")) {
            b.rebootNeeded = true;
        } else if (key == QLatin1String("silent")) {
            b.silent = true;
        } else if (key == QLatin1String("faults")) {
            b.faults = true;
            b.faultReason = QUrl::fromPercentEncoding(value.toUtf8());
        } else if (key == QLatin1String("ipv6only")) {
            b.ipv6Only = true;
        } else if (key == QLatin1String("https")) {
            b.https = value == QLatin1String("quiet") ? Https::Quiet : Https::Announced;
        } else if (key == QLatin1String("auth")) {
            b.auth = value == QLatin1String("digest") ? Auth::Digest
                : value == QLatin1String("wsse")      ? Auth::UsernameToken
                                                      : Auth::Both;
        } else if (key == QLatin1String("clock")) {
            b.clockOffsetSeconds = parseOffset(value).value_or(0);
        } else if (key == QLatin1String("slow")) {
            b.delayMs = value.toInt();
        } else if (key == QLatin1String("endpoint")) {
            b.endpointOf = parseBorrowed(value).value_or(Borrowed());
        } else if (key == QLatin1String("twin")) {
            b.twinOf = parseBorrowed(value).value_or(Borrowed());
        } else if (key == QLatin1String("xaddr")) {
            b.xaddrHost = value;
        } else if (key == QLatin1String("hostile")) {
            b.hostile = value == QLatin1String("oversized") ? Hostile::Oversized
                : value == QLatin1String("nested")          ? Hostile::Nested
                : value == QLatin1String("entities")        ? Hostile::Entities
                                                            : Hostile::Namespace;
        }
    }
}

std::optional<OnvifBehaviour::Rule> OnvifBehaviour::parseRule(const QString &text, QString &error)
{
    Rule rule;
    QString list = text.trimmed();
    static const QRegularExpression range(QStringLiteral("^(\\d{1,5})(?:-(\\d{1,5}))?:"));
    const QRegularExpressionMatch m = range.match(list);
    if (m.hasMatch()) {
        rule.first = m.captured(1).toInt();
        rule.last = m.captured(2).isEmpty() ? rule.first : m.captured(2).toInt();
        if (rule.last < rule.first) {
            error = QStringLiteral("the range %1 is backwards").arg(m.captured(0));
            return std::nullopt;
        }
        list = list.mid(m.capturedLength());
    }
    rule.items = list.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString &item : rule.items)
        item = item.trimmed();
    if (rule.items.isEmpty()) {
        error = QStringLiteral("no behaviour in \"%1\"").arg(text);
        return std::nullopt;
    }
    for (const QString &item : std::as_const(rule.items)) {
        if (!validItem(item)) {
            error = QStringLiteral("unknown behaviour \"%1\"").arg(item);
            return std::nullopt;
        }
    }
    return rule;
}

} // namespace VoskSim
