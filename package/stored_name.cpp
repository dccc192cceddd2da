#include "package/stored_name.h"

#include <cstring>

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
}  // namespace

bool IsSafeStoredName(const char* name) {
  if (name == nullptr || *name == 0 || IsSeparator(*name)) return false;
  if (strchr(name, ':') != nullptr) return false;
  const char* step = name;
  for (const char* p = name;; ++p) {
    if (*p == 0 || IsSeparator(*p)) {
      if (p == step || IsDotsOnly(step, p)) return false;  // empty or dots-only step
      if (*p == 0) return true;
      step = p + 1;
    }
  }
}
