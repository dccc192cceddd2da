#include "net/proxy.h"

#include <cstring>
#include <vector>

#include "common/bounded_text.h"
#include "common/update_log.h"
#include "net/proxy_scramble.h"
#include "net/wininet_binding.h"
#include "settings/reg_key.h"

namespace {
const char kHostSettingsKey[] = "SOFTWARE\\Zindo\\Murvo";
const char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kWebHandlerKey[] = "SOFTWARE\\Classes\\http\\shell\\open\\command";
constexpr size_t kCredentialSize = 260;

// Once per process: only the first request of a run carries the credentials.
bool g_credentialsApplied = false;

// One registry value as found before the push.
struct CZFoundValue {
  bool present = false;
  DWORD type = 0;
  std::vector<BYTE> data;
};

// What PushProxy(true) found, to put back by PushProxy(false).
struct CZPushedProxy {
  bool pushed = false;
  CZFoundValue server;
  CZFoundValue enable;
} g_pushedProxy;

CZFoundValue FindValue(const CZRegKey& key, const char* name) {
  CZFoundValue found;
  found.present = key.QueryValue(name, &found.type, &found.data);
  return found;
}

void PutBackValue(CZRegKey& key, const char* name, const CZFoundValue& found) {
  if (found.present)
    key.SetValue(name, found.type, found.data);
  else
    key.DeleteValue(name);
}
}  // namespace

bool GetClientProxy(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return false;
  buffer[0] = '\0';
  CZRegKey settings(kHostSettingsKey, HKEY_CURRENT_USER);
  if (settings.GetDword("Proxy Enabled") != 1) return false;
  char host[kPathSize];
  // An empty host would make ":port" a proxy that every request fails on.
  if (!settings.QueryString("HTTP Proxy", host, sizeof(host)) || host[0] == '\0') return false;
  DWORD port = settings.GetDword("Proxy Port");
  if (port == 0) return false;
  char text[kPathSize + 16];
  FormatText(text, sizeof(text), "%s:%lu", host, port);
  // A cut proxy text would name another host: refuse it instead.
  if (strlen(text) >= size) return false;
  CopyBounded(buffer, size, text);
  return true;
}

void ApplyProxyCredentials(CZWinInet& winInet, HINTERNET request) {
  if (g_credentialsApplied) return;
  g_credentialsApplied = true;

  CZRegKey settings(kHostSettingsKey, HKEY_CURRENT_USER);
  char user[kCredentialSize], password[kCredentialSize];
  if (!settings.QueryString("Http Proxy ID", user, sizeof(user)) ||
      !settings.QueryString("Http Proxy Passwd", password, sizeof(password)) || user[0] == '\0' ||
      password[0] == '\0')
    return;
  ScrambleText(password);

  char pair[kCredentialSize];
  FormatText(pair, sizeof(pair), "%s:%s", user, password);
  ScrambleText(pair);
  char header[kCredentialSize];
  FormatText(header, sizeof(header), "Proxy-Authorization: %s\r\n", pair);
  winInet.HttpAddRequestHeadersA(request, header, static_cast<DWORD>(strlen(header)),
                                 HTTP_ADDREQ_FLAG_ADD);
  winInet.InternetSetOptionA(request, INTERNET_OPTION_PROXY_USERNAME, user, strlen(user));
  winInet.InternetSetOptionA(request, INTERNET_OPTION_PROXY_PASSWORD, password, strlen(password));
}

bool ShouldPushProxy() {
  {
    CZRegKey settings(kHostSettingsKey, HKEY_CURRENT_USER);
    if (settings.GetDword("Proxy Enabled") == 0) return false;
  }
  {
    // A browser that is itself the default web handler reads its own settings.
    CZRegKey handler(kWebHandlerKey, HKEY_LOCAL_MACHINE);
    char command[256];
    handler.QueryString("", command, sizeof(command));
    if (strstr(command, "iexplore") != nullptr) return false;
  }
  CZRegKey internet(kInternetSettingsKey, HKEY_CURRENT_USER);
  DWORD enabled = internet.GetDword("ProxyEnable");
  char server[512];
  bool haveServer =
      internet.QueryString("ProxyServer", server, sizeof(server)) && server[0] != '\0';
  return !(enabled != 0 && haveServer);
}

void PushProxy(bool on) {
  CZRegKey internet;
  if (!on) {
    if (!g_pushedProxy.pushed) return;
    g_pushedProxy.pushed = false;
    if (internet.Create(kInternetSettingsKey, HKEY_CURRENT_USER) != 0) return;
    PutBackValue(internet, "ProxyServer", g_pushedProxy.server);
    PutBackValue(internet, "ProxyEnable", g_pushedProxy.enable);
    return;
  }
  // A second push would take its own values for the user's.
  if (g_pushedProxy.pushed) return;
  CZRegKey settings(kHostSettingsKey, HKEY_CURRENT_USER);
  char host[512];
  if (!settings.QueryString("HTTP Proxy", host, sizeof(host)) || host[0] == '\0') return;
  char server[512 + 16];
  FormatText(server, sizeof(server), "http=%s:%lu", host, settings.GetDword("Proxy Port"));
  if (internet.Create(kInternetSettingsKey, HKEY_CURRENT_USER) != 0) return;
  g_pushedProxy.server = FindValue(internet, "ProxyServer");
  g_pushedProxy.enable = FindValue(internet, "ProxyEnable");
  g_pushedProxy.pushed = true;
  internet.SetString("ProxyServer", server);
  internet.SetDword("ProxyEnable", 1);
}
