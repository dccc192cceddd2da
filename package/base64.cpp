#include "package/base64.h"

#include <cstring>

namespace {
unsigned CharacterValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return 0;  // "=" and every stranger character
}
}  // namespace

bool DecodeBase64(const char* text, size_t length, unsigned char* out, size_t outSize,
                  size_t* count) {
  *count = 0;
  if (length == 0) length = strlen(text);
  if (length % 4 != 0) return false;
  size_t produced = 0;
  for (size_t group = 0; group < length; group += 4) {
    const char* g = text + group;
    if (g[1] == '=') {
      if (outSize > 0) out[0] = 0;
      return false;
    }
    unsigned a = CharacterValue(g[0]), b = CharacterValue(g[1]);
    unsigned c = CharacterValue(g[2]), d = CharacterValue(g[3]);
    size_t bytes = 3;
    if (g[3] == '=') --bytes;
    if (g[2] == '=') --bytes;
    const unsigned char decoded[3] = {static_cast<unsigned char>(a * 4 + b / 16),
                                      static_cast<unsigned char>(b * 16 + c / 4),
                                      static_cast<unsigned char>(c * 64 + d)};
    if (produced + bytes > outSize) {
      if (outSize > 0) out[0] = 0;
      return false;
    }
    memcpy(out + produced, decoded, bytes);
    produced += bytes;
  }
  if (produced < outSize) out[produced] = 0;
  *count = produced;
  return true;
}
