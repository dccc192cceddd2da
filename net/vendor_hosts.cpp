#include "net/vendor_hosts.h"

#include "net/setting_line.h"
#include "vendor_hosts_config.h"

namespace {
std::string UpdateServerUrl(const char* path) { return std::string("http://") + ZUPDATER_UPDATE_HOST + path; }
std::string WebHostUrl(const char* path) { return std::string("http://") + ZUPDATER_WEB_HOST + path; }
}  // namespace

std::string DefaultClientUpdatePageUrl() { return UpdateServerUrl("/corvcli.html"); }

bool IsOlderClientUpdatePageUrl(const std::string& url) {
  return EqualsNoCase(url, UpdateServerUrl("/sclients.html")) ||
         EqualsNoCase(url, UpdateServerUrl("/clients.html")) ||
         EqualsNoCase(url, WebHostUrl("/clients.html"));
}

std::string ServersPageUrl() { return UpdateServerUrl("/servers.html"); }
