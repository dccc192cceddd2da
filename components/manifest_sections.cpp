#include "components/manifest_sections.h"

#include <windows.h>

#include "components/manifest_rules.h"

std::vector<std::string> ReadKeyNames(const char* manifestPath, const char* section, size_t limit,
                                      bool* cut) {
  // Twice the limit: every name that could fit in the limit arrives whole,
  // and one that does not is seen as too long rather than quietly cut.
  std::vector<char> list(2 * limit, '\0');
  DWORD length = GetPrivateProfileStringA(section, nullptr, "", list.data(),
                                          static_cast<DWORD>(list.size()), manifestPath);
  return TakeKeyNames(list.data(), length, limit, cut);
}

std::string ReadManifestText(const char* manifestPath, const char* section, const char* key,
                             const char* fallback, size_t size) {
  std::vector<char> text(size, '\0');
  GetPrivateProfileStringA(section, key, fallback, text.data(), static_cast<DWORD>(size),
                           manifestPath);
  return text.data();
}
