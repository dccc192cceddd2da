#include "package/stored_name.h"

#include <cstring>
#include <initializer_list>

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The platform trims trailing dots and spaces from a path step, so ". ." or
// "..." may act as a step up; no real file is named like that.
bool IsDotsOnly(const char* begin, const char* end) {
  bool dot = false;
  for (const char* p = begin; p < end; ++p) {
    if (*p == '.')
      dot = true;
    else if (*p != ' ')
      return false;
  }
  return dot;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameLetters(const char* begin, const char* end, const char* upper) {
  for (; begin < end && *upper; ++begin, ++upper) {
    if (Upper(*begin) != *upper) return false;
  }
  return begin == end && *upper == 0;
}

// Windows opens a device, not a file, for these names in any folder, with any
// extension and with trailing spaces: "nul.txt", "sub\COM1 .dll". The
// superscript digits are bytes 0xB9, 0xB2 and 0xB3 of Windows-1252.
bool IsDeviceName(const char* begin, const char* end) {
  const char* stem = begin;
  while (stem < end && *stem != '.') ++stem;
  while (stem > begin && stem[-1] == ' ') --stem;
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (SameLetters(begin, stem, device)) return true;
  }
  if (stem - begin != 4) return false;
  const unsigned char digit = static_cast<unsigned char>(begin[3]);
  const bool numbered =
      (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  return numbered && (SameLetters(begin, begin + 3, "COM") || SameLetters(begin, begin + 3, "LPT"));
}
}  // namespace

bool IsSafeStoredName(const char* name) {
  if (name == nullptr || *name == 0 || IsSeparator(*name)) return false;
  if (strchr(name, ':') != nullptr) return false;
  const char* step = name;
  for (const char* p = name;; ++p) {
    if (*p == 0 || IsSeparator(*p)) {
      if (p == step || IsDotsOnly(step, p)) return false;  // empty or dots-only step
      if (IsDeviceName(step, p)) return false;
      if (*p == 0) return true;
      step = p + 1;
    }
  }
}
