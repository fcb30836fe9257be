#pragma once

// What every command of vosktool-cli shares: the common options and their
// parse, the password and code files, discovery and the lookup of a named
// device, and the result lines (serial number, a tab, the result) with
// progress and errors on standard error. Main thread of the console
// program only.

#include "discovery/devicekey.h"
#include "netparam/rules/passwordpolicy.h"
#include "operations/deviceoperations.h"
#include "operations/onvifdevices.h"
#include "operations/operationrunner.h"
#include "vosk/vosk.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QHostAddress>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class DeviceFinder;
class QCommandLineParser;

namespace CliCommands {

inline constexpr int kDefaultWaitMs = 3000;
inline constexpr int kMaxWaitMs = 3600 * 1000;
// A password file holds one line; anything longer is not one.
inline constexpr qint64 kMaxPasswordFileBytes = 4096;
inline constexpr int kMaxSecurityCodeLength = 32;
// How long the watch mode's last lines wait for a stalled reader at the end.
inline constexpr int kWatchFlushMs = 2000;
// How long the library's first inquiry and its repeats take to be
// answered (the last repeat 840 ms after the start, plus its window).
inline constexpr qint64 kIdentityGraceMs = 1000;

void writeOut(const QString &text);
void writeErr(const QString &text);

// The options every command shares, and the parse that reports a bad
// command line as bad input.
struct CommonOptions
{
    QCommandLineOption interfaces{QStringLiteral("interfaces"),
                                  QStringLiteral("Comma-separated interfaces to use (default: VOSK_INTERFACES, "
                                                 "else every interface)."),
                                  QStringLiteral("names")};
    QCommandLineOption wait{QStringLiteral("wait"),
                            QStringLiteral("How long to listen for devices, in milliseconds (default 3000)."),
                            QStringLiteral("ms"), QString::number(kDefaultWaitMs)};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show the usage.")};
    QCommandLineOption pick{QStringLiteral("pick"),
                            QStringLiteral("The device meant by SERIAL is the one announcing MAC, although another "
                                           "device shares its serial number or MAC; or the ONVIF device listed at "
                                           "ADDRESS is the one meant, although another device announces its "
                                           "endpoint reference or it names another host (repeatable)."),
                            QStringLiteral("SERIAL@MAC|ADDRESS")};
    int waitMs = kDefaultWaitMs;
    // The devices the user chose by both halves of their key.
    QSet<DeviceKey> picks;
    // The ONVIF devices the user chose by the address they are listed at.
    QStringList pickedHosts;
};

// The ONVIF options of the commands that reach ONVIF devices (list, set,
// batch, activate): the sign-in credentials, from a file or standard
// input only (never the command line, where every user of the machine can
// read them; never echoed or logged), and a directed probe of addresses on
// another subnet.
inline constexpr int kMaxProbeAddresses = 4096;
struct OnvifOptions
{
    QCommandLineOption credentials{QStringLiteral("onvif-credentials"),
                                   QStringLiteral("File with the ONVIF user name on its first line and the "
                                                  "password on its second ('-': standard input)."),
                                   QStringLiteral("file")};
    QCommandLineOption probe{QStringLiteral("probe"),
                             QStringLiteral("Also ask these addresses directly for ONVIF devices: A or A-B "
                                            "(repeatable)."),
                             QStringLiteral("A[-B]")};
    QCommandLineOption acceptCertificate{
        QStringLiteral("accept-certificate"),
        QStringLiteral("Trust the new HTTPS certificate an ONVIF device shows, by its endpoint reference or the "
                       "certificate's SHA-256 fingerprint, in place of the one trusted before (repeatable)."),
        QStringLiteral("endpoint|fingerprint")};
    VoskTool::OnvifCredentials signIn;
    // --onvif-credentials was given: every ONVIF device found is signed in
    // with them, as the user asked. Otherwise only the ONVIF devices a
    // command names are, with the command's administrator password.
    bool signInEvery = false;
    QList<QHostAddress> probeAddresses;
    QStringList acceptCertificates;
};
QList<QCommandLineOption> onvifOptionList(const OnvifOptions &onvif);
// After a successful parse: reads the credentials file and the probe
// ranges; false (said on standard error) when either is unusable.
bool readOnvifOptions(const QCommandLineParser &parser, OnvifOptions &onvif);

enum class Parsed { Ok, Help, Bad };

// Adds the common options and parses; Help after printing the command's
// help, Bad after saying why on standard error (with a hint to the help).
Parsed parse(QCommandLineParser &parser, CommonOptions &common, const QString &command,
             const QStringList &arguments);

// The first line of a password file ("-" reads standard input), without
// its line end; false (said on standard error) when it cannot be read.
bool readPasswordFile(const QString &path, QString *password);
// A new administrator password from its file, checked by the window's
// policy for devices of ours and converted for them (the recovery
// commands, which only ours answer).
bool readNewPassword(const QString &path, QByteArray *bytes);
// The text of a new administrator password from its file; false (said on
// standard error) when it cannot be read or is empty. The policy follows
// once the devices it goes to are known (checkNewPassword()).
bool readNewPasswordText(const QString &path, QString *password);
// Which kinds of device the jobs reach: ours (the 8-bit conversion, at
// most 16 bytes), ONVIF devices (UTF-8, at most
// VoskTool::OnvifCredentials::kMaxPasswordLength characters), or both. No
// job at all counts as ours, as in the window's pane.
VoskTool::PasswordTargets passwordTargets(const QVector<VoskTool::OperationJob> &jobs);
// A new administrator password checked by the window's policy for those
// targets (a refusal states the range that applies to them) and converted
// for each kind; false (said on standard error) when refused.
bool checkNewPassword(const QString &password, const VoskTool::PasswordTargets &targets,
                      VoskTool::PasswordBytes *bytes);
// A password converted for each kind the targets hold; false (said on
// standard error) when one of them cannot take it.
bool passwordBytes(const QString &password, const VoskTool::PasswordTargets &targets, VoskTool::PasswordBytes *bytes);

// The device's answer worded as the window words it (the operations
// core's words, in English).
enum class Operation { Modify, Activate, ChangePassword };
QString succeedText();
QString failureText(Operation operation, bool batch, int code);
// The same from a whole outcome, which also carries a lockout's seconds.
QString failureText(Operation operation, bool batch, const VoskTool::OperationOutcome &outcome);
QString notFoundText();
QString ambiguousText();
// Control characters and the like made visible, for texts from the network.
QString terminalSafe(const QString &text);

// The device a command means by a serial number (see lookUp() in the .cpp).
enum class Lookup { Found, NotFound, Ambiguous };
Lookup lookUp(const QString &serial, const QSet<DeviceKey> &picks, DeviceKey *key, VOSK_DEVICE_INFO *record,
              const QStringList &pickedHosts = {});
// The ONVIF devices stored that the picks name: by the address they are
// listed at, or by the serial number and MAC their record shows.
QSet<DeviceKey> pickedOnvif(const QSet<DeviceKey> &picks, const QStringList &pickedHosts);
QString lookupFailureText(Lookup lookup);

void writeResult(const QString &serial, const QString &result);
// With a third column when `note` is not empty.
void writeResult(const QString &serial, const QString &result, const QString &note);
void writeProgress(int done, int total, const QString &serial);

// Starts discovery and listens until the serial numbers (or `count`
// devices) are seen or the window ends.
bool discover(DeviceFinder &finder, const QStringList &serials, int count, int waitMs);
// The same with the directed probes sent and ONVIF devices signed in:
// every one found when --onvif-credentials was given, else those that
// `serials` names by address or endpoint; the picked ones (--pick) as the
// user's choice. Waits for the sign-ins begun, at most kSignInWaitMs
// beyond the listening.
inline constexpr int kSignInWaitMs = 10000;
bool discover(DeviceFinder &finder, const OnvifOptions &onvif, const CommonOptions &common,
              const QStringList &serials, int count);

QCommandLineOption expectOption();
// --password-file FILE: the new password of activate, passwd and reset.
QCommandLineOption newPasswordFileOption();
bool readExpect(const QCommandLineParser &parser, const QCommandLineOption &option, int *count);

} // namespace CliCommands
