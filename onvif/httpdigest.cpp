#include "onvif/httpdigest.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>
#include <cstring>

namespace Onvif {

namespace {

struct RawChallenge
{
    QByteArray scheme;
    QList<QPair<QByteArray, QByteArray>> params;  // names in lower case
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isTokenChar(char c)
{
    return c > 0x20 && c < 0x7f && !std::strchr("()<>@,;:\\\"/[]?={} \t", c);
}

// RFC 7235 challenge list: auth-scheme [ token68 / #auth-param ], several
// challenges separated by commas.
QList<RawChallenge> split(const QByteArray &in)
{
    QList<RawChallenge> result;
    qsizetype p = 0;
    const qsizetype n = in.size();
    auto skipSpace = [&] {
        while (p < n && isSpace(in.at(p)))
            ++p;
    };
    auto readToken = [&] {
        const qsizetype start = p;
        while (p < n && isTokenChar(in.at(p)))
            ++p;
        return in.mid(start, p - start);
    };
    while (p < n) {
        skipSpace();
        if (p < n && in.at(p) == ',') {
            ++p;
            continue;
        }
        const QByteArray token = readToken();
        if (token.isEmpty()) {
            ++p;  // a stray character: skip it
            continue;
        }
        skipSpace();
        if (p < n && in.at(p) == '=') {
            ++p;
            skipSpace();
            QByteArray value;
            if (p < n && in.at(p) == '"') {
                ++p;
                while (p < n && in.at(p) != '"') {
                    if (in.at(p) == '\\' && p + 1 < n)
                        ++p;
                    value.append(in.at(p++));
                }
                ++p;  // the closing quote (or the end)
            } else {
                value = readToken();
                // token68 padding ("abc==") belongs to no parameter.
                while (p < n && in.at(p) == '=')
                    ++p;
            }
            if (!result.isEmpty())
                result.last().params.append({token.toLower(), value});
        } else {
            result.append({token, {}});
        }
    }
    return result;
}

QByteArray hashHex(HttpDigest::Hash hash, const QByteArray &data)
{
    return QCryptographicHash::hash(data, hash == HttpDigest::Hash::Sha256 ? QCryptographicHash::Sha256
                                                                           : QCryptographicHash::Md5)
        .toHex();
}

QByteArray quoted(const QByteArray &value)
{
    QByteArray out = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\')
            out.append('\\');
        out.append(c);
    }
    out.append('"');
    return out;
}

} // namespace

QList<HttpDigest::Challenge> HttpDigest::parse(const QByteArray &wwwAuthenticate)
{
    QList<Challenge> result;
    for (const RawChallenge &raw : split(wwwAuthenticate)) {
        if (raw.scheme.compare("Digest", Qt::CaseInsensitive) != 0)
            continue;
        Challenge c;
        bool qopOffered = false;
        bool userhash = false;
        for (const auto &[name, value] : raw.params) {
            if (name == "realm") {
                c.realm = value;
            } else if (name == "nonce") {
                c.nonce = value;
            } else if (name == "opaque") {
                c.opaque = value;
            } else if (name == "stale") {
                c.stale = value.compare("true", Qt::CaseInsensitive) == 0;
            } else if (name == "algorithm") {
                c.algorithm = value;
            } else if (name == "userhash") {
                userhash = value.compare("true", Qt::CaseInsensitive) == 0;
            } else if (name == "qop") {
                qopOffered = true;
                for (const QByteArray &q : value.split(','))
                    c.qopAuth = c.qopAuth || q.trimmed().compare("auth", Qt::CaseInsensitive) == 0;
            }
        }
        QByteArray algorithm = c.algorithm.toUpper();
        if (algorithm.endsWith("-SESS")) {
            c.session = true;
            algorithm.chop(5);
        }
        if (algorithm.isEmpty() || algorithm == "MD5")
            c.hash = Hash::Md5;
        else if (algorithm == "SHA-256")
            c.hash = Hash::Sha256;
        else
            continue;  // SHA-512-256 and others: not offered
        if (c.nonce.isEmpty() || userhash || (qopOffered && !c.qopAuth))
            continue;
        result.append(c);
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const Challenge &a, const Challenge &b) { return a.hash == Hash::Sha256 && b.hash != Hash::Sha256; });
    return result;
}

QByteArray HttpDigest::response(const Challenge &c, const QString &username, const QString &password,
                                const QByteArray &method, const QByteArray &uri, const QByteArray &cnonce,
                                quint32 nonceCount)
{
    QByteArray ha1 = hashHex(c.hash, username.toUtf8() + ':' + c.realm + ':' + password.toUtf8());
    if (c.session)
        ha1 = hashHex(c.hash, ha1 + ':' + c.nonce + ':' + cnonce);
    const QByteArray ha2 = hashHex(c.hash, method + ':' + uri);
    if (!c.qopAuth)
        return hashHex(c.hash, ha1 + ':' + c.nonce + ':' + ha2);
    const QByteArray nc = QByteArray::number(nonceCount, 16).rightJustified(8, '0');
    return hashHex(c.hash, ha1 + ':' + c.nonce + ':' + nc + ':' + cnonce + ":auth:" + ha2);
}

QByteArray HttpDigest::authorization(const Challenge &c, const QString &username, const QString &password,
                                     const QByteArray &method, const QByteArray &uri, const QByteArray &cnonce,
                                     quint32 nonceCount)
{
    QByteArray out = "Digest username=" + quoted(username.toUtf8()) + ", realm=" + quoted(c.realm)
        + ", uri=" + quoted(uri);
    if (!c.algorithm.isEmpty())
        out += ", algorithm=" + c.algorithm;
    out += ", nonce=" + quoted(c.nonce);
    if (c.qopAuth) {
        out += ", nc=" + QByteArray::number(nonceCount, 16).rightJustified(8, '0') + ", cnonce=" + quoted(cnonce)
            + ", qop=auth";
    }
    out += ", response=" + quoted(response(c, username, password, method, uri, cnonce, nonceCount));
    if (!c.opaque.isEmpty())
        out += ", opaque=" + quoted(c.opaque);
    return out;
}

QByteArray HttpDigest::makeClientNonce()
{
    QByteArray nonce(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(nonce.data()), nonce.size() / 4);
    return nonce.toBase64();
}

} // namespace Onvif
