#include "net/host_port.h"

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
