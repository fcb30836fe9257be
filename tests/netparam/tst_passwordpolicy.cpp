#include "aptui/newpasswordrows.h"
#include "aptui/passwordstrengthmeter.h"
#include "netparam/rules/passwordpolicy.h"

#include <QLabel>
#include <QTest>
#include <QTextCodec>
#include <QWidget>

using namespace VoskTool;

class tst_PasswordPolicy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void level_data();
    void level();
    void check_data();
    void check();
    void targets_data();
    void targets();
    void encoding_data();
    void encoding();
    void meter_data();
    void meter();
    void meterSaysWhyItRefuses_data();
    void meterSaysWhyItRefuses();
};

void tst_PasswordPolicy::level_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("level");

    QTest::newRow("eight digits") << QByteArray("admin") << QByteArray("12345678") << 0;
    QTest::newRow("eight lower") << QByteArray("admin") << QByteArray("abcdefgh") << 0;
    QTest::newRow("seven of four classes") << QByteArray("admin") << QByteArray("aB3$xY9") << 0;
    QTest::newRow("empty") << QByteArray("admin") << QByteArray() << 0;
    QTest::newRow("digits+lower") << QByteArray("admin") << QByteArray("abcd1234") << 1;
    QTest::newRow("digits+upper") << QByteArray("admin") << QByteArray("ABCD1234") << 1;
    QTest::newRow("upper+lower") << QByteArray("admin") << QByteArray("ABCDefgh") << 2;
    QTest::newRow("digits+punctuation") << QByteArray("admin") << QByteArray("1234!@#$") << 2;
    QTest::newRow("lower+punctuation") << QByteArray("admin") << QByteArray("abcd!@#$") << 2;
    QTest::newRow("lower+blank") << QByteArray("admin") << QByteArray("abcd efg") << 2;
    QTest::newRow("lower+accented byte") << QByteArray("admin") << QByteArray("abcdefg\xe9") << 2;
    QTest::newRow("digits+both cases") << QByteArray("admin") << QByteArray("abCD1234") << 3;
    QTest::newRow("four classes") << QByteArray("admin") << QByteArray("aB3$xY9!") << 3;
    QTest::newRow("sixteen, three classes") << QByteArray("admin") << QByteArray("Abcdefgh12345678") << 3;
    // Equal to the user name, or to it reversed, is never acceptable.
    QTest::newRow("equals user") << QByteArray("Admin123") << QByteArray("Admin123") << 0;
    QTest::newRow("equals user reversed") << QByteArray("Admin123") << QByteArray("321nimdA") << 0;
    QTest::newRow("user differs in case") << QByteArray("admin123") << QByteArray("ADMIN123") << 1;
}

void tst_PasswordPolicy::level()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);
    QFETCH(int, level);
    QCOMPARE(passwordLevel(user, password), level);
}

void tst_PasswordPolicy::check_data()
{
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<QString>("confirmation");
    QTest::addColumn<int>("result");

    // Empty comes before a mismatch, a mismatch before the rating.
    QTest::newRow("empty") << QString() << QStringLiteral("abcd1234") << int(NewPasswordCheck::Empty);
    QTest::newRow("mismatch") << QStringLiteral("abcd1234") << QStringLiteral("abcd1235")
                              << int(NewPasswordCheck::Mismatch);
    QTest::newRow("case mismatch") << QStringLiteral("abcd1234") << QStringLiteral("ABCD1234")
                                   << int(NewPasswordCheck::Mismatch);
    QTest::newRow("weak but matching") << QStringLiteral("12345678") << QStringLiteral("12345678")
                                       << int(NewPasswordCheck::TooWeak);
    QTest::newRow("weak and mismatched") << QStringLiteral("1234") << QStringLiteral("12345")
                                         << int(NewPasswordCheck::Mismatch);
    QTest::newRow("not in the codec") << QStringLiteral("abcd1234\u4e2d") << QStringLiteral("abcd1234\u4e2d")
                                      << int(NewPasswordCheck::NotRepresentable);
    QTest::newRow("accepted") << QStringLiteral("abcd1234") << QStringLiteral("abcd1234")
                              << int(NewPasswordCheck::Accepted);
}

void tst_PasswordPolicy::check()
{
    QFETCH(QString, newPassword);
    QFETCH(QString, confirmation);
    QFETCH(int, result);
    QTextCodec *latin1 = QTextCodec::codecForName("ISO-8859-1");
    QVERIFY(latin1);
    QCOMPARE(int(checkNewPassword(newPassword, confirmation, latin1)), result);
}

// A password for our devices, for devices that take UTF-8 (ONVIF, 64
// characters), or for both at once: each kind's limits, the stricter wins.
void tst_PasswordPolicy::targets_data()
{
    QTest::addColumn<bool>("local");
    QTest::addColumn<int>("utf8Max");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("result");

    const QString seventeen = QStringLiteral("Abcdefgh123456789");
    QTest::newRow("ours, 17 bytes") << true << 0 << seventeen << int(NewPasswordCheck::TooLong);
    QTest::newRow("utf8, 17 characters") << false << 64 << seventeen << int(NewPasswordCheck::Accepted);
    QTest::newRow("both, 17 characters") << true << 64 << seventeen << int(NewPasswordCheck::TooLong);
    QTest::newRow("utf8, 64 characters") << false << 64 << QString(seventeen + QString(47, QLatin1Char('x')))
                                         << int(NewPasswordCheck::Accepted);
    QTest::newRow("utf8, 65 characters") << false << 64 << QString(seventeen + QString(48, QLatin1Char('x')))
                                         << int(NewPasswordCheck::TooLong);
    // UTF-8 carries what the 8-bit conversion cannot.
    QTest::newRow("utf8, chinese") << false << 64 << QStringLiteral("abcd1234\u4e2d") << int(NewPasswordCheck::Accepted);
    QTest::newRow("both, chinese") << true << 64 << QStringLiteral("abcd1234\u4e2d")
                                   << int(NewPasswordCheck::NotRepresentable);
    QTest::newRow("utf8, lone surrogate") << false << 64 << (QStringLiteral("abcd1234") + QChar(0xd800))
                                          << int(NewPasswordCheck::NotRepresentable);
    QTest::newRow("utf8, weak") << false << 64 << QStringLiteral("12345678") << int(NewPasswordCheck::TooWeak);
}

void tst_PasswordPolicy::targets()
{
    QFETCH(bool, local);
    QFETCH(int, utf8Max);
    QFETCH(QString, password);
    QFETCH(int, result);
    PasswordTargets targets;
    targets.local = local;
    targets.utf8MaxCharacters = utf8Max;
    QCOMPARE(int(checkNewPassword(password, password, QTextCodec::codecForName("ISO-8859-1"), targets)), result);
    QByteArray bytes;
    if (!local && result == int(NewPasswordCheck::Accepted)) {
        QCOMPARE(encodeUtf8Password(password, utf8Max, &bytes), PasswordEncoding::Ok);
        QCOMPARE(bytes, password.toUtf8());
    }
}

void tst_PasswordPolicy::encoding_data()
{
    QTest::addColumn<QByteArray>("codecName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("latin1 ascii") << QByteArray("ISO-8859-1") << QStringLiteral("Abc12345") << int(PasswordEncoding::Ok)
                                  << QByteArray("Abc12345");
    QTest::newRow("latin1 accented") << QByteArray("ISO-8859-1") << QStringLiteral("Abc1234\u00e9")
                                     << int(PasswordEncoding::Ok) << QByteArray("Abc1234\xe9");
    // A '?' in place of the character would lock the user out.
    QTest::newRow("latin1 chinese") << QByteArray("ISO-8859-1") << QStringLiteral("Abc1234\u4e2d")
                                    << int(PasswordEncoding::NotRepresentable) << QByteArray();
    QTest::newRow("latin1 sixteen") << QByteArray("ISO-8859-1") << QStringLiteral("Abcdefgh12345678")
                                    << int(PasswordEncoding::Ok) << QByteArray("Abcdefgh12345678");
    // Sixteen characters of two bytes each do not fit the device's 16 bytes.
    QTest::newRow("utf8 too long") << QByteArray("UTF-8") << QString(16, QChar(0xe9))
                                   << int(PasswordEncoding::TooLong) << QByteArray();
    QTest::newRow("utf8 fits") << QByteArray("UTF-8") << QStringLiteral("Abc1234\u00e9")
                               << int(PasswordEncoding::Ok) << QByteArray("Abc1234\xc3\xa9");
}

void tst_PasswordPolicy::encoding()
{
    QFETCH(QByteArray, codecName);
    QFETCH(QString, text);
    QFETCH(int, result);
    QFETCH(QByteArray, bytes);
    QTextCodec *codec = QTextCodec::codecForName(codecName);
    QVERIFY(codec);
    QByteArray out("untouched");
    QCOMPARE(int(encodePassword(text, codec, &out)), result);
    QCOMPARE(out, result == int(PasswordEncoding::Ok) ? bytes : QByteArray("untouched"));
}

void tst_PasswordPolicy::meter_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QStringList>("images");
    QTest::addColumn<QString>("text");

    const QString g = aptui::PasswordStrengthMeter::greyImage();
    const QString r = aptui::PasswordStrengthMeter::redImage();
    const QString y = aptui::PasswordStrengthMeter::yellowImage();
    const QString n = aptui::PasswordStrengthMeter::greenImage();
    QTest::newRow("0") << 0 << QStringList{g, g, g} << QString();
    QTest::newRow("1") << 1 << QStringList{r, g, g} << QStringLiteral("word");
    QTest::newRow("2") << 2 << QStringList{y, y, g} << QStringLiteral("word");
    QTest::newRow("3") << 3 << QStringList{n, n, n} << QStringLiteral("word");
    QTest::newRow("out of range") << 7 << QStringList{g, g, g} << QString();
}

void tst_PasswordPolicy::meter()
{
    QFETCH(int, level);
    QFETCH(QStringList, images);
    QFETCH(QString, text);

    QLabel bar1, bar2, bar3, word;
    word.setText(QStringLiteral("stale"));
    aptui::PasswordStrengthMeter meter(&bar1, &bar2, &bar3, &word);
    meter.showStrength(level, QStringLiteral("word"));
    QLabel *bars[3] = {&bar1, &bar2, &bar3};
    for (int i = 0; i < 3; ++i) {
        const QImage expected = QPixmap(images.at(i)).toImage();
        QVERIFY2(!expected.isNull(), qPrintable(images.at(i)));
        QCOMPARE(bars[i]->pixmap().toImage(), expected);
    }
    QCOMPARE(word.text(), text);
}

void tst_PasswordPolicy::meterSaysWhyItRefuses_data()
{
    QTest::addColumn<int>("utf8Only"); // the ONVIF limit when only such devices are targets, else 0
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("word");
    QTest::newRow("empty") << 0 << QString() << QString();
    QTest::newRow("too short") << 0 << QStringLiteral("abc") << QStringLiteral("Too short: under 8 characters");
    QTest::newRow("digits only") << 0 << QStringLiteral("12345678") << QStringLiteral("Only one kind of character");
    QTest::newRow("lower case only") << 64 << QStringLiteral("abcdefghij") << QStringLiteral("Only one kind of character");
    QTest::newRow("too long for ours") << 0 << QStringLiteral("Abcdefgh12345678x") << QStringLiteral("Too long: over 16 bytes");
    QTest::newRow("that long is fine for ONVIF") << 64 << QStringLiteral("Abcdefgh12345678x") << QStringLiteral("Strong");
    QTest::newRow("too long for ONVIF") << 64 << QStringLiteral("Ab1").repeated(22) << QStringLiteral("Too long: over 64 characters");
    QTest::newRow("accepted") << 0 << QStringLiteral("abcd1234") << QStringLiteral("Weak");
}

void tst_PasswordPolicy::meterSaysWhyItRefuses()
{
    QFETCH(int, utf8Only);
    QFETCH(QString, password);
    QFETCH(QString, word);
    QWidget owner;
    NewPasswordRows rows(&owner);
    PasswordTargets targets;
    targets.local = utf8Only == 0;
    targets.utf8MaxCharacters = utf8Only;
    rows.setTargets(targets);
    rows.showStrength(password);
    QCOMPARE(rows.levelText()->text(), word);
}

QTEST_MAIN(tst_PasswordPolicy)
#include "tst_passwordpolicy.moc"
