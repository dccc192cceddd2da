// The host client's HTTP proxy: for the updater's own traffic, the proxy
// credentials of the first request, and the copy into the system's Internet
// settings while the update browser is shown.
#pragma once
#include <windows.h>
#include <wininet.h>

class CZWinInet;

constexpr size_t kProxyTextSize = 256;

// "host:port" of the host client's proxy when it is enabled (exactly 1), has
// a non-empty host and a non-zero port. False when a proxy text would not fit
// in size.
bool GetClientProxy(char* buffer, size_t size);

// Adds the scrambled Proxy-Authorization header and the proxy user name and
// password options to request; acts on the first call of the process only.
// Only for requests that go through the host client's proxy: the user's
// proxy credentials are never meant for the server itself.
void ApplyProxyCredentials(CZWinInet& winInet, HINTERNET request);

// True when the host client's proxy should be copied into the system's
// Internet settings for the embedded browser.
bool ShouldPushProxy();
// On: keeps the ProxyServer and ProxyEnable values it finds, then writes
// "http=host:port" and ProxyEnable 1 (nothing when the client has no proxy
// host). Off: puts back what On found, an absent value staying absent; does
// nothing when On wrote nothing.
void PushProxy(bool on);
