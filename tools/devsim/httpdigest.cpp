#include "tools/devsim/httpdigest.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>
#include <cctype>

namespace VoskSim {

namespace {

constexpr int kMaxHeader = 4096;

QByteArray randomHex(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(raw.data()), bytes / 4);
    return raw.toHex();
}

std::optional<QCryptographicHash::Algorithm> hashOf(const QByteArray &algorithm)
{
    if (algorithm.compare("MD5", Qt::CaseInsensitive) == 0)
        return QCryptographicHash::Md5;
    if (algorithm.compare("SHA-256", Qt::CaseInsensitive) == 0)
        return QCryptographicHash::Sha256;
    return std::nullopt;
}

QByteArray hexHash(QCryptographicHash::Algorithm algorithm, const QByteArray &data)
{
    return QCryptographicHash::hash(data, algorithm).toHex();
}

// Both sides are hex digests of one length; compared without an early exit.
bool sameDigest(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

HttpDigest::HttpDigest(QByteArray realm)
    : m_realm(std::move(realm))
    , m_opaque(randomHex(8))
{
}

QList<QByteArray> HttpDigest::challenges(qint64 nowMs, bool stale)
{
    QList<QByteArray> out;
    for (const char *algorithm : {"SHA-256", "MD5"}) {
        Nonce nonce{randomHex(16), nowMs, {}};
        QByteArray value = "Digest realm=\"" + m_realm + "\", qop=\"auth\", algorithm=" + algorithm + ", nonce=\""
            + nonce.value + "\", opaque=\"" + m_opaque + '"';
        if (stale)
            value += ", stale=true";
        out.append(value);
        m_nonces.push_back(std::move(nonce));
    }
    while (m_nonces.size() > kMaxNonces)
        m_nonces.pop_front();
    return out;
}

HttpDigest::Result HttpDigest::verify(const QByteArray &authorization, const QByteArray &method,
                                      const QByteArray &target, qint64 nowMs,
                                      const std::function<std::optional<QByteArray>(const QByteArray &)> &passwordOf,
                                      QByteArray &user)
{
    if (authorization.isEmpty())
        return Result::Missing;
    const std::optional<QHash<QByteArray, QByteArray>> params = parseParameters(authorization);
    if (!params)
        return authorization.trimmed().startsWith("Digest") ? Result::Malformed : Result::Missing;
    const QByteArray algorithm = params->value("algorithm", "MD5");
    const QByteArray qop = params->value("qop");
    const QByteArray nonceValue = params->value("nonce");
    const QByteArray nc = params->value("nc");
    const QByteArray cnonce = params->value("cnonce");
    const QByteArray uri = params->value("uri");
    const QByteArray given = params->value("response").toLower();
    // The uri must name this request: a digest made for another resource
    // must not be carried over.
    if (params->value("realm") != m_realm || qop != "auth" || !hashOf(algorithm) || nonceValue.isEmpty()
        || cnonce.isEmpty() || nc.size() != 8 || uri != target || given.isEmpty())
        return Result::Malformed;
    bool ok = false;
    const quint64 count = nc.toULongLong(&ok, 16);
    if (!ok)
        return Result::Malformed;

    auto it = std::find_if(m_nonces.begin(), m_nonces.end(),
                           [&](const Nonce &n) { return n.value == nonceValue; });
    if (it == m_nonces.end() || nowMs - it->issuedMs > kNonceLifetimeMs
        || it->counts.size() >= kMaxCountsPerNonce) {
        if (it != m_nonces.end())
            m_nonces.erase(it);
        return Result::Stale;
    }
    if (count == 0 || it->counts.contains(count))
        return Result::Replayed;

    const QByteArray name = params->value("username");
    const std::optional<QByteArray> password = passwordOf(name);
    if (!password)
        return Result::Refused;
    const QByteArray expected =
        response(algorithm, name, m_realm, *password, method, uri, nonceValue, nc, cnonce);
    if (!sameDigest(expected, given))
        return Result::Refused;
    it->counts.insert(count);
    user = name;
    return Result::Accepted;
}

QByteArray HttpDigest::response(const QByteArray &algorithm, const QByteArray &user, const QByteArray &realm,
                                const QByteArray &password, const QByteArray &method, const QByteArray &uri,
                                const QByteArray &nonce, const QByteArray &nc, const QByteArray &cnonce)
{
    const std::optional<QCryptographicHash::Algorithm> hash = hashOf(algorithm);
    if (!hash)
        return QByteArray();
    const QByteArray ha1 = hexHash(*hash, user + ':' + realm + ':' + password);
    const QByteArray ha2 = hexHash(*hash, method + ':' + uri);
    return hexHash(*hash, ha1 + ':' + nonce + ':' + nc + ':' + cnonce + ":auth:" + ha2);
}

std::optional<QHash<QByteArray, QByteArray>> HttpDigest::parseParameters(const QByteArray &header)
{
    if (header.size() > kMaxHeader)
        return std::nullopt;
    const QByteArray text = header.trimmed();
    if (text.size() < 7 || text.left(6).compare("Digest", Qt::CaseInsensitive) != 0 || (text[6] != ' ' && text[6] != '\t'))
        return std::nullopt;
    QHash<QByteArray, QByteArray> params;
    qsizetype i = 7;
    const qsizetype n = text.size();
    auto skipSpace = [&] {
        while (i < n && (text[i] == ' ' || text[i] == '\t'))
            ++i;
    };
    while (i < n) {
        while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == ','))
            ++i;
        if (i >= n)
            break;
        const qsizetype keyStart = i;
        while (i < n && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '-' || text[i] == '_'))
            ++i;
        if (i == keyStart)
            return std::nullopt;
        const QByteArray key = text.mid(keyStart, i - keyStart).toLower();
        skipSpace();
        if (i >= n || text[i] != '=')
            return std::nullopt;
        ++i;
        skipSpace();
        QByteArray value;
        if (i < n && text[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                const char c = text[i++];
                if (c == '\\' && i < n) {
                    value += text[i++];
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    value += c;
                }
            }
            if (!closed)
                return std::nullopt;
        } else {
            const qsizetype valueStart = i;
            while (i < n && text[i] != ',' && text[i] != ' ' && text[i] != '\t')
                ++i;
            value = text.mid(valueStart, i - valueStart);
        }
        // A parameter given twice is ambiguous: which one was signed?
        if (params.contains(key))
            return std::nullopt;
        params.insert(key, value);
    }
    return params;
}

} // namespace VoskSim
