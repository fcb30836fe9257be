#include "onvif/devicetypes.h"

#include <QUrl>

namespace Onvif {

namespace {

const QLatin1String kScopePrefix("onvif://www.onvif.org/");

} // namespace

namespace {

int protocolPort(const QList<NetworkProtocol> &protocols, QLatin1String name)
{
    for (const NetworkProtocol &p : protocols) {
        if (p.enabled && p.name.compare(name, Qt::CaseInsensitive) == 0 && !p.ports.isEmpty())
            return p.ports.constFirst();
    }
    return 0;
}

} // namespace

int httpPort(const QList<NetworkProtocol> &protocols)
{
    return protocolPort(protocols, QLatin1String("HTTP"));
}

int httpsPort(const QList<NetworkProtocol> &protocols)
{
    return protocolPort(protocols, QLatin1String("HTTPS"));
}

QUrl secureAddress(const QUrl &service, int port)
{
    if (port <= 0 || port > 65535 || !service.isValid())
        return QUrl();
    QUrl url = service;
    url.setScheme(QStringLiteral("https"));
    url.setPort(port == 443 ? -1 : port);
    return url;
}

QStringList scopeValues(const QStringList &scopes, QStringView category)
{
    QStringList values;
    for (const QString &scope : scopes) {
        if (!scope.startsWith(kScopePrefix, Qt::CaseInsensitive))
            continue;
        const QStringView rest = QStringView(scope).mid(kScopePrefix.size());
        if (!rest.startsWith(category, Qt::CaseInsensitive) || rest.size() <= category.size()
            || rest.at(category.size()) != u'/')
            continue;
        const QString value = QUrl::fromPercentEncoding(rest.mid(category.size() + 1).toUtf8());
        if (!value.isEmpty())
            values.append(value);
    }
    return values;
}

bool isFactoryDefault(const QStringList &scopes)
{
    if (scopeValues(scopes, u"Profile").contains(QLatin1String("Q/FactoryDefault"), Qt::CaseInsensitive))
        return true;
    // Some firmware drops the profile part of the path.
    for (const QString &scope : scopes) {
        if (scope.startsWith(kScopePrefix, Qt::CaseInsensitive)
            && QStringView(scope).mid(kScopePrefix.size()).compare(u"FactoryDefault", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString userLevelName(UserLevel level)
{
    switch (level) {
    case UserLevel::Administrator: return QStringLiteral("Administrator");
    case UserLevel::Operator: return QStringLiteral("Operator");
    case UserLevel::User: return QStringLiteral("User");
    case UserLevel::Anonymous: return QStringLiteral("Anonymous");
    case UserLevel::Extended: return QStringLiteral("Extended");
    }
    return QStringLiteral("User");
}

std::optional<UserLevel> userLevelFromName(QStringView name)
{
    for (const UserLevel level : {UserLevel::Administrator, UserLevel::Operator, UserLevel::User,
                                  UserLevel::Anonymous, UserLevel::Extended}) {
        if (name.trimmed() == userLevelName(level))
            return level;
    }
    return std::nullopt;
}

} // namespace Onvif
