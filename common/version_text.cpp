#include "common/version_text.h"

#include <cstdio>
#include <cstring>

namespace {
// atoi without its undefined overflow: the value wraps, and only its low 16
// bits are kept by the caller anyway.
uint32_t ReadDecimal(const char* text, const char* end) {
  while (text < end && (*text == ' ' || (*text >= '\t' && *text <= '\r'))) ++text;
  bool negative = false;
  if (text < end && (*text == '+' || *text == '-')) negative = *text++ == '-';
  uint32_t value = 0;
  while (text < end && *text >= '0' && *text <= '9') value = value * 10u + uint32_t(*text++ - '0');
  return negative ? 0u - value : value;
}

uint32_t High(const CZVersion& v) { return uint32_t(v.major) << 16 | v.minor; }
uint32_t Low(const CZVersion& v) { return uint32_t(v.build) << 16 | v.revision; }
}  // namespace

bool ParseVersionText(const char* text, CZVersion* out) {
  if (text == nullptr) text = "";
  uint16_t* parts[] = {&out->major, &out->minor, &out->build};
  for (uint16_t* part : parts) {
    const char* comma = strchr(text, ',');
    if (comma == nullptr) {
      *part = 0;
      continue;
    }
    *part = static_cast<uint16_t>(ReadDecimal(text, comma));
    text = comma + 1;
  }
  out->revision = static_cast<uint16_t>(ReadDecimal(text, text + strlen(text)));
  return true;
}

int CompareVersions(const CZVersion& a, const CZVersion& b) {
  if (High(a) != High(b)) return High(a) < High(b) ? -1 : 1;
  if (Low(a) != Low(b)) return Low(a) < Low(b) ? -1 : 1;
  return 0;
}

bool ParseExactVersionText(const char* text, CZVersion* out) {
  if (text == nullptr) return false;
  uint16_t parts[4] = {};
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && *text++ != ',') return false;
    uint32_t value = 0;
    int digits = 0;
    for (; *text >= '0' && *text <= '9'; ++text, ++digits) {
      value = value * 10u + uint32_t(*text - '0');
      if (value > 0xFFFF) return false;
    }
    if (digits == 0) return false;
    parts[i] = static_cast<uint16_t>(value);
  }
  if (*text != '\0') return false;
  out->major = parts[0];
  out->minor = parts[1];
  out->build = parts[2];
  out->revision = parts[3];
  return true;
}

void FormatVersionText(const CZVersion& version, char* text, unsigned long size) {
  snprintf(text, size, "%u,%u,%u,%u", version.major, version.minor, version.build,
           version.revision);
}
