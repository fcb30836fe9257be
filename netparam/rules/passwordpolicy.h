#pragma once

#include <QByteArray>
#include <QString>

class QTextCodec;

namespace VoskTool {

// The administrator-password policy of every place that sets a new password
// (activation, the reset dialog, the batch reset) and of every place that
// sends one to a device. Pure functions, any thread.

// The user name every caller rates against.
inline constexpr char kAdminUserName[] = "admin";

// Longest password the device fields take, in bytes after conversion (the
// reset block's field holds 16 bytes and no terminator of its own).
inline constexpr int kMaxPasswordBytes = 16;
// Shortest password the policy rates above 0, in characters.
inline constexpr int kMinPasswordLength = 8;

// 0 (not acceptable), 1 "Weak", 2 "Medium" or 3 "Strong".
// Under 8 bytes, or equal to the user name or to it reversed: 0. Otherwise
// the number of classes that occur among digits, A-Z, a-z and every other
// byte (blanks, punctuation, every non-ASCII byte): one class 0; digits with
// one letter class 1; any other pair 2; three or four classes 3.
int passwordLevel(const QByteArray &user, const QByteArray &password);

// Why passwordLevel() rates a password 0, in the order it looks: None for
// any password it rates above 0 (and for an empty one, which no form rates).
enum class PasswordWeakness {
    None,
    TooShort,   // under kMinPasswordLength bytes
    UserName,   // the user name, or the user name reversed
    OneKind,    // digits only, upper case only, lower case only, or others only
};
PasswordWeakness passwordWeakness(const QByteArray &user, const QByteArray &password);

// How a typed password goes to a device.
enum class PasswordEncoding {
    Ok,
    // A character the 8-bit conversion cannot represent: sending it would put
    // '?' in its place and lock the user out with a password never typed.
    NotRepresentable,
    // More bytes after conversion than the device fields take.
    TooLong,
};

// Converts a typed password with `codec` (the toolkit's 8-bit conversion;
// null means the locale's codec). Fills `bytes` only when the result is Ok.
PasswordEncoding encodePassword(const QString &text, QTextCodec *codec, QByteArray *bytes);

// Converts a typed password to UTF-8, the encoding of open standards such
// as ONVIF, for devices that take up to `maxCharacters` characters as typed.
// NotRepresentable for text that is not valid UTF-16 (a lone surrogate
// would turn into a replacement character). Fills `bytes` only when Ok.
PasswordEncoding encodeUtf8Password(const QString &text, int maxCharacters, QByteArray *bytes);

// The level of a typed password against "admin", rated on its converted bytes.
int adminPasswordLevel(const QString &text, QTextCodec *codec);

// The acceptance checks of a new password with its confirmation, in the
// order the forms report them; each form words the result in its own texts.
enum class NewPasswordCheck {
    Accepted,
    Empty,            // the new password is empty
    Mismatch,         // confirmation differs (exact, case-sensitive)
    NotRepresentable, // see PasswordEncoding
    TooLong,          // see PasswordEncoding
    TooWeak,          // level 0
};
NewPasswordCheck checkNewPassword(const QString &newPassword, const QString &confirmation,
                                  QTextCodec *codec);
// Which devices a new password goes to: ours (the 8-bit conversion, at most
// kMaxPasswordBytes), UTF-8 ones (at most `utf8MaxCharacters`), or both, in
// which case it must suit both. The level is rated on the bytes our devices
// would get when they are among them, else on the UTF-8 bytes.
struct PasswordTargets
{
    bool local = true;
    int utf8MaxCharacters = 0; // 0: no device that takes UTF-8
};
NewPasswordCheck checkNewPassword(const QString &newPassword, const QString &confirmation, QTextCodec *codec,
                                  const PasswordTargets &targets);

} // namespace VoskTool
