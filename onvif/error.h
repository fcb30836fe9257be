#pragma once

// What went wrong with one ONVIF call: a typed kind for the caller to word
// and act on, with the device's own fault details kept for logs and for
// finer decisions (a weak password is InvalidArgument with the subcode
// "PasswordTooWeak" or "Password").

#include <QString>
#include <QStringList>

namespace Onvif {

enum class ErrorKind {
    None,
    NotAuthorized,    // wrong user name or password, or credentials needed and missing
    InvalidArgument,  // the device refused a value (ter:InvalidArgVal, InvalidArgs, OperationProhibited), or the client did before sending
    NotSupported,     // the device does not implement the operation (ter:ActionNotSupported, NotImplemented)
    SenderFault,      // any other fault with code Sender (also MustUnderstand, VersionMismatch)
    ReceiverFault,    // any other fault with code Receiver, or an unknown code
    Unreachable,      // no connection: refused, no route, host unknown, closed before an answer
    Timeout,          // no complete answer within the call's time-out
    BadAnswer,        // an answer that is not a SOAP 1.2 envelope of the expected kind (too large, nested too deep, DTD, truncated, wrong namespaces, redirect, HTTP error without a fault)
    Cancelled,        // the client was told to stop the call
    CertificateChanged // over HTTPS: the device's certificate is not the one trusted for it (nothing was sent)
};

struct Error
{
    ErrorKind kind = ErrorKind::None;
    // The SOAP fault's Code value and Subcode chain, as local names
    // ("Sender", then "NotAuthorized", ...); empty when there was no fault.
    QString code;
    QStringList subcodes;
    // The fault's Reason text, or a short English description of a
    // transport or parsing failure (for logs; never shown untranslated).
    QString reason;
    int httpStatus = 0;  // 0: no HTTP answer

    bool isOk() const { return kind == ErrorKind::None; }
    static Error make(ErrorKind kind, const QString &reason, int httpStatus = 0)
    {
        Error e;
        e.kind = kind;
        e.reason = reason;
        e.httpStatus = httpStatus;
        return e;
    }
};

// The kind's name ("NotAuthorized", ...), for logs and test messages.
QString errorKindName(ErrorKind kind);

} // namespace Onvif
