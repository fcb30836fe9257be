#include "discovery/discoverylog.h"

Q_LOGGING_CATEGORY(lcDiscovery, "vosktool.discovery", QtInfoMsg)
