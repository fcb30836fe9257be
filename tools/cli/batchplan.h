#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

// A batch plan: one device per line, "serial,ip,mask,gateway,port,http_port"
// (CSV as a spreadsheet saves it; a first line starting with "serial" is a
// header; blank lines and lines starting with '#' are skipped). An empty
// cell takes the command line's value (--mask, ...), the address the batch
// address rule from --start; what is still empty keeps the device's value.
// A line is text of at most 1024 bytes: a longer one, or one with a NUL or
// another control character (tab aside), is a fault of its own, and is
// never quoted back. Messages quote a serial number escaped
// (TerminalText::excerpt) and at most as long as a serial number can be;
// after 100 faults the rest of the plan is not read.
namespace BatchPlan {

struct Defaults
{
    QString start, mask, gateway, port, httpPort;
    bool dhcp = false; // every device to DHCP: addresses are kept, none given
};

struct Line
{
    int lineNumber = 0;
    QString serial;
    // What to send; empty keeps the device's current value.
    QString ip, mask, gateway, port, httpPort;
    // The address comes from --start: the command numbers it again over the
    // devices it will send to (a device left out uses up no address).
    bool numbered = false;
};

// Reads the plan and checks every value with the window's rules before
// anything is sent. False with one message per fault in `errors`
// ("line N: ..."), and then `lines` is to be ignored.
bool read(QIODevice &in, const Defaults &defaults, QList<Line> *lines, QStringList *errors);

// The devices of a command that takes a list of them (passwd --devices):
// one a line, its serial number the line's first CSV cell, so that a batch
// plan or the output of `list --csv --raw` serves as it is; a first line
// starting with "serial" is a header, blank lines and lines starting with
// '#' are skipped. Lines are bounded and checked as a plan's are; a serial
// number listed twice is a fault. False with one message per fault
// ("line N: ..."), and then `serials` is to be ignored.
bool readSerials(QIODevice &in, QStringList *serials, QStringList *errors);

// The window's message for a network field that failed its check; the
// field and error are VoskTool::NetField and VoskTool::FieldError.
QString fieldMessage(int field, int error);

// Checks one given value (non-empty) of a network field with the window's
// rule; empty result when it passes.
QString checkValue(int field, const QString &text);

} // namespace BatchPlan
