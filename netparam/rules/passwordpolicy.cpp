#include "netparam/rules/passwordpolicy.h"

#include <QTextCodec>
#include <QVector>

#include <algorithm>

namespace VoskTool {

namespace {

// The kinds of character a password holds: digits, upper and lower case
// ASCII letters, anything else.
struct CharacterKinds
{
    bool digit = false, upper = false, lower = false, other = false;

    explicit CharacterKinds(const QByteArray &password)
    {
        for (const char c : password) {
            if (c >= '0' && c <= '9')
                digit = true;
            else if (c >= 'A' && c <= 'Z')
                upper = true;
            else if (c >= 'a' && c <= 'z')
                lower = true;
            else
                other = true;
        }
    }
    int count() const { return int(digit) + int(upper) + int(lower) + int(other); }
};

// The user name, forwards or backwards.
bool isUserName(const QByteArray &user, const QByteArray &password)
{
    QByteArray reversed = user;
    std::reverse(reversed.begin(), reversed.end());
    return password == user || password == reversed;
}

} // namespace

PasswordWeakness passwordWeakness(const QByteArray &user, const QByteArray &password)
{
    if (password.isEmpty())
        return PasswordWeakness::None;
    if (password.size() < kMinPasswordLength)
        return PasswordWeakness::TooShort;
    if (isUserName(user, password))
        return PasswordWeakness::UserName;
    if (CharacterKinds(password).count() <= 1)
        return PasswordWeakness::OneKind;
    return PasswordWeakness::None;
}

int passwordLevel(const QByteArray &user, const QByteArray &password)
{
    if (password.size() < kMinPasswordLength)
        return 0;
    if (isUserName(user, password))
        return 0;

    const CharacterKinds kinds(password);
    const int classes = kinds.count();
    if (classes <= 1)
        return 0;
    if (classes == 2)
        return kinds.digit && (kinds.upper || kinds.lower) ? 1 : 2;
    return 3;
}

PasswordEncoding encodePassword(const QString &text, QTextCodec *codec, QByteArray *bytes)
{
    if (!codec)
        codec = QTextCodec::codecForLocale();
    // A codec that cannot represent a character substitutes it; decoding the
    // result again is the one test every codec answers the same way.
    QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
    const QByteArray encoded = codec->fromUnicode(text.constData(), int(text.size()), &state);
    if (state.invalidChars > 0 || codec->toUnicode(encoded) != text)
        return PasswordEncoding::NotRepresentable;
    if (encoded.size() > kMaxPasswordBytes)
        return PasswordEncoding::TooLong;
    if (bytes)
        *bytes = encoded;
    return PasswordEncoding::Ok;
}

PasswordEncoding encodeUtf8Password(const QString &text, int maxCharacters, QByteArray *bytes)
{
    if (!text.isValidUtf16())
        return PasswordEncoding::NotRepresentable;
    if (text.size() > maxCharacters)
        return PasswordEncoding::TooLong;
    if (bytes)
        *bytes = text.toUtf8();
    return PasswordEncoding::Ok;
}

int adminPasswordLevel(const QString &text, QTextCodec *codec)
{
    if (!codec)
        codec = QTextCodec::codecForLocale();
    return passwordLevel(QByteArray(kAdminUserName), codec->fromUnicode(text));
}

NewPasswordCheck checkNewPassword(const QString &newPassword, const QString &confirmation,
                                  QTextCodec *codec)
{
    return checkNewPassword(newPassword, confirmation, codec, PasswordTargets());
}

NewPasswordCheck checkNewPassword(const QString &newPassword, const QString &confirmation, QTextCodec *codec,
                                  const PasswordTargets &targets)
{
    if (newPassword.isEmpty())
        return NewPasswordCheck::Empty;
    if (newPassword != confirmation)
        return NewPasswordCheck::Mismatch;
    QVector<PasswordEncoding> encodings;
    if (targets.local)
        encodings.append(encodePassword(newPassword, codec, nullptr));
    if (targets.utf8MaxCharacters > 0)
        encodings.append(encodeUtf8Password(newPassword, targets.utf8MaxCharacters, nullptr));
    if (encodings.contains(PasswordEncoding::NotRepresentable))
        return NewPasswordCheck::NotRepresentable;
    if (encodings.contains(PasswordEncoding::TooLong))
        return NewPasswordCheck::TooLong;
    const int level = targets.local || targets.utf8MaxCharacters <= 0
        ? adminPasswordLevel(newPassword, codec)
        : passwordLevel(QByteArray(kAdminUserName), newPassword.toUtf8());
    if (level == 0)
        return NewPasswordCheck::TooWeak;
    return NewPasswordCheck::Accepted;
}

} // namespace VoskTool
