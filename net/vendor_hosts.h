// The vendor's servers. Their host names are build configuration (the CMake
// cache variables ZUPDATER_UPDATE_HOST and ZUPDATER_WEB_HOST, each a host
// with an optional ":port"); the paths are fixed.
#pragma once
#include <string>

// The client update page read when none is stored.
std::string DefaultClientUpdatePageUrl();
// Older client update pages, replaced by the default one when found stored.
bool IsOlderClientUpdatePageUrl(const std::string& url);
// The servers page the host client is pointed at when an older page is replaced.
std::string ServersPageUrl();
