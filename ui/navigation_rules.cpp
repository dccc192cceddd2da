#include "ui/navigation_rules.h"

#include <cctype>
#include <cstring>

namespace {
constexpr unsigned kHttpPort = 80;
constexpr unsigned kHttpsPort = 443;
constexpr unsigned kMaxPort = 65535;
const char kBlankPage[] = "about:blank";

std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

bool BeginsWithNoCase(const std::string& text, const char* prefix) {
  const size_t length = strlen(prefix);
  return text.size() >= length && Lowered(text.substr(0, length)) == prefix;
}

// Digits only, within the port range; false for an empty text.
bool ReadPort(const std::string& text, unsigned* port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > kMaxPort) return false;
  *port = value;
  return true;
}

// A host name or address as it stands in a URL: letters, digits, '-', '.',
// '_', or a bracketed IPv6 address; nothing a reader could take for
// something else.
bool IsPlainHost(const std::string& host) {
  if (host.empty()) return false;
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') return false;
    for (size_t i = 1; i + 1 < host.size(); ++i)
      if (!isxdigit(static_cast<unsigned char>(host[i])) && host[i] != ':' && host[i] != '.')
        return false;
    return true;
  }
  for (char c : host)
    if (!isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_') return false;
  return true;
}
}  // namespace

bool ParseWebOrigin(const std::string& url, CZWebOrigin* origin) {
  size_t rest = 0;
  if (BeginsWithNoCase(url, "https://")) {
    origin->scheme = "https";
    origin->port = kHttpsPort;
    rest = strlen("https://");
  } else if (BeginsWithNoCase(url, "http://")) {
    origin->scheme = "http";
    origin->port = kHttpPort;
    rest = strlen("http://");
  } else {
    return false;
  }
  // The browser reads a backslash as a slash: it ends the authority too.
  size_t end = url.find_first_of("/?#\\", rest);
  if (end == std::string::npos) end = url.size();
  const std::string authority = url.substr(rest, end - rest);
  if (authority.find('@') != std::string::npos) return false;
  std::string host = authority;
  const size_t close = authority.rfind(']');
  const size_t colon = authority.rfind(':');
  if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
    host = authority.substr(0, colon);
    if (!ReadPort(authority.substr(colon + 1), &origin->port)) return false;
  }
  if (!IsPlainHost(host)) return false;
  origin->host = Lowered(host);
  return true;
}

bool IsBlankPage(const std::string& url) {
  if (!BeginsWithNoCase(url, kBlankPage)) return false;
  const size_t length = strlen(kBlankPage);
  return url.size() == length || url[length] == '#' || url[length] == '?';
}

bool IsAllowedNavigation(const std::string& pageUrl, const std::string& url) {
  if (IsBlankPage(url)) return true;
  CZWebOrigin page, target;
  return ParseWebOrigin(pageUrl, &page) && ParseWebOrigin(url, &target) &&
         page.scheme == target.scheme && page.host == target.host && page.port == target.port;
}
