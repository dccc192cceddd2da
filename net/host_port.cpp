#include "net/host_port.h"

#include <cctype>
#include <cstdio>
#include <cstring>

bool AppendExplicitPort(char* buffer, size_t size, unsigned port, unsigned defaultPort) {
  if (port == 0 || port == defaultPort) return true;
  char suffix[16];
  snprintf(suffix, sizeof(suffix), ":%u", port);
  size_t used = strlen(buffer);
  if (used + strlen(suffix) >= size) return false;
  memcpy(buffer + used, suffix, strlen(suffix) + 1);
  return true;
}

void SplitHostPort(const std::string& text, std::string* host, unsigned* port) {
  *host = text;
  *port = 0;
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || text.find(':') != colon) return;
  std::string digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return;
  unsigned value = static_cast<unsigned>(std::stoul(digits));
  if (value == 0 || value > 65535) return;
  *host = text.substr(0, colon);
  *port = value;
}

const char kSecureServerPrefix[] = "https://";

bool PrependSecurePrefix(char* buffer, size_t size) {
  const size_t prefix = sizeof(kSecureServerPrefix) - 1;
  const size_t used = strlen(buffer);
  if (used + prefix >= size) return false;
  memmove(buffer + prefix, buffer, used + 1);
  memcpy(buffer, kSecureServerPrefix, prefix);
  return true;
}

namespace {
// Whether text starts with lowercase prefix, in any letter case.
bool StartsWithNoCase(const std::string& text, const char* prefix) {
  const size_t length = strlen(prefix);
  if (text.size() < length) return false;
  for (size_t i = 0; i < length; ++i)
    if (tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}
}  // namespace

bool IsSecureServerText(const std::string& text) {
  return StartsWithNoCase(text, kSecureServerPrefix);
}

bool IsSecureUrl(const std::string& url) { return StartsWithNoCase(url, "https:"); }

bool IsPlainHttpUrl(const std::string& url) { return StartsWithNoCase(url, "http:"); }

void SplitServerText(const std::string& text, bool* secure, std::string* host, unsigned* port) {
  *secure = IsSecureServerText(text);
  SplitHostPort(*secure ? text.substr(sizeof(kSecureServerPrefix) - 1) : text, host, port);
  if (*secure && *port == 0) *port = kDefaultSecurePort;
}
