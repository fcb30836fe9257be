#pragma once

#include <QMetaType>

namespace VoskTool {

// Which right-hand page the current check-box selection calls for. Sent by
// the device table page with the checked devices.
enum ModifyPage {
    ModifySingle = 0,   // nothing checked, or one activated device
    ModifyBatch = 1,    // two or more, all activated
    ActivateSingle = 2, // one device, not activated
    ActivateBatch = 3,  // two or more, none activated
    ModifyMixed = 4     // two or more, some activated and some not
};

} // namespace VoskTool

Q_DECLARE_METATYPE(VoskTool::ModifyPage)
