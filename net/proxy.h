// The host client's HTTP proxy: for the updater's own traffic, the proxy
// credentials of the first request, and the copy into the system's Internet
// settings while the update browser is shown.
#pragma once
#include <windows.h>
#include <wininet.h>

class CZWinInet;

constexpr size_t kProxyTextSize = 256;

// "host:port" of the host client's proxy when it is enabled (exactly 1), has
// a host and a non-zero port. False when a proxy text would not fit in size.
bool GetClientProxy(char* buffer, size_t size);

// Adds the scrambled Proxy-Authorization header and the four credential
// options to request; acts on the first call of the process only.
void ApplyProxyCredentials(CZWinInet& winInet, HINTERNET request);

// True when the host client's proxy should be copied into the system's
// Internet settings for the embedded browser.
bool ShouldPushProxy();
// On: writes "http=host:port" and ProxyEnable 1. Off: "" and 0.
void PushProxy(bool on);
