// The client update page: which page a run reads, and its setting lines.
#pragma once
#include "net/http_session.h"
#include "net/update_settings.h"

// Decides the page URL (buffer of kPathSize bytes) and records it.
void ChooseClientUpdatePage(const CZUpdateSettings& settings, char* pageUrl);

// Connects to the page's server, fetches the page and applies its lines;
// true when both package folder URLs are then known.
bool ReadClientUpdatePage(CZHttpSession& net, CZUpdateSettings& settings);
