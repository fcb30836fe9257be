#include "aptui/identityquestion.h"

#include "aptui/cwarningdlg.h"
#include "discovery/deviceidentity.h"
#include "aptui/aptuilog.h"

namespace VoskTool {

namespace {

IdentityQuestion::Asker &currentAsker()
{
    static IdentityQuestion::Asker function;
    return function;
}

} // namespace

bool IdentityQuestion::confirm(QWidget *parent, const QVector<DeviceKey> &targets)
{
    const QVector<VOSK::IdentityConflict> conflicts = VOSK::DeviceIdentity::unpicked(targets);
    if (conflicts.isEmpty())
        return true;
    const QString text = VOSK::DeviceIdentity::refusal(conflicts) + QStringLiteral("\n\n")
        + tr("Confirm only if the checked devices are the ones you mean: what is sent goes to each of them sealed "
             "to its own key, and no other device can read it. Close this message to send nothing.");
    bool confirmed = false;
    if (currentAsker()) {
        confirmed = currentAsker()(parent, text);
    } else {
        TarnGUIToolkit::CWarningDlg dialog(tr("Devices with a shared identity"), text, parent);
        confirmed = dialog.exec() == QDialog::Accepted;
    }
    qCInfo(lcAptui) << "[IdentityQuestion]" << conflicts.size() << "device(s) with a shared identity,"
                       << (confirmed ? "confirmed" : "nothing sent");
    return confirmed;
}

void IdentityQuestion::setAsker(Asker asker)
{
    currentAsker() = std::move(asker);
}

} // namespace VoskTool
