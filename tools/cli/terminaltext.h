#pragma once

// The escaping of device texts lives in discovery/ (the window's export
// shares it); this name stays for the console's sources that include it.
#include "discovery/terminaltext.h"
