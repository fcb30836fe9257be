#pragma once

#include "aptui/basedialog.h"

#include <QHostAddress>
#include <QList>
#include <QString>

class QLabel;
class QLineEdit;

namespace VoskTool {

// Asks where to look for ONVIF devices that multicast does not reach (another
// subnet): IPv4 addresses and ranges "A-B", several separated by commas or
// spaces. Confirm accepts only input that parses; otherwise the dialog stays
// open and says what is wrong with which entry. Built on the caller's stack,
// run with exec(). GUI thread only.
class OnvifProbeDialog final : public aptui::BaseDialog
{
    Q_OBJECT

public:
    // Why input was refused.
    enum class InputError {
        None,
        Empty,      // nothing typed
        NotIpv4,    // an entry is not a dotted IPv4 address (IPv6, a name, garbage)
        Reversed,   // a range that ends before it starts
        TooMany,    // more addresses than one directed probe may ask
    };

    // The most addresses one directed probe asks (the discovery's own limit).
    static constexpr int kMaxAddresses = 4096;

    explicit OnvifProbeDialog(QWidget *parent = nullptr);
    ~OnvifProbeDialog() override;

    // Parses the user's text: each entry an address or a range first-last,
    // in the order given, repeats dropped. On an error `addresses` is left
    // empty and `offending` (when given) holds the entry at fault.
    static InputError parse(const QString &text, QList<QHostAddress> *addresses, QString *offending = nullptr);

    // The parsed addresses once the dialog was accepted.
    QList<QHostAddress> addresses() const { return m_addresses; }

    // For tests, as the user would type.
    void setText(const QString &text);
    // The inline complaint shown when confirm was refused; empty otherwise.
    QString complaint() const;

private:
    void onConfirm();

    QLineEdit *m_lineEditAddresses;
    QLabel *m_labelComplaint;
    QList<QHostAddress> m_addresses;
};

} // namespace VoskTool
