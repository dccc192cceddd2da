#include "net/setting_line.h"

#include <cstring>

namespace {

constexpr size_t kSettingLineMax = 1023;

struct KeyName {
  const char* name;
  SettingKey key;
};

// Matched in this order; the first match wins.
const KeyName kKeys[] = {
    {"ApplicationName", SettingKey::ApplicationName},
    {"ServerPage", SettingKey::ServerPage},
    {"File", SettingKey::File},
    {"PATCHKEEPER-FOLDER", SettingKey::PatchkeeperFolder},
    {"MURVO-FOLDER", SettingKey::MurvoFolder},
    {"IPAddrLookup", SettingKey::IPAddrLookup},
    {"HttpServers", SettingKey::HttpServers},
    {"SocketServers", SettingKey::SocketServers},
};

bool IsSettingSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string ToLowerAscii(std::string text) {
  for (char& c : text) c = LowerAscii(c);
  return text;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool ParseSettingLine(const char* line, SettingLine* out) {
  if (line == nullptr) return false;
  std::string text(line, strnlen(line, kSettingLineMax));
  // Trailing white space goes, but never the first character; then the
  // leading white space.
  size_t end = text.size();
  while (end > 1 && IsSettingSpace(text[end - 1])) --end;
  text.resize(end);
  size_t begin = 0;
  while (begin < text.size() && IsSettingSpace(text[begin])) ++begin;
  text.erase(0, begin);

  size_t eq = text.find('=');
  if (eq == std::string::npos) return false;
  std::string key = text.substr(0, eq);
  for (const KeyName& k : kKeys) {
    if (EqualsNoCase(key, k.name)) {
      out->key = k.key;
      out->value = text.substr(eq + 1);
      return true;
    }
  }
  return false;
}

bool SplitApplicationName(const std::string& value, std::string* folder, std::string* exeName) {
  size_t sep = value.rfind('\\');
  if (sep == std::string::npos) sep = value.rfind('/');
  if (sep == std::string::npos) return false;
  *folder = value.substr(0, sep) + "\\";
  *exeName = ToLowerAscii(value.substr(sep + 1));
  return true;
}

bool IsLocalAbsolutePath(const std::string& value) {
  if (value.size() < 4) return false;
  const char drive = LowerAscii(value[0]);
  if (drive < 'a' || drive > 'z' || value[1] != ':' || value[2] != '\\') return false;
  // The path ends up inside a quoted command line: a quote, a control
  // character or a further colon (a stream or another drive) has no place in
  // a file name.
  for (size_t i = 3; i < value.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c < 0x20 || strchr("\"<>|?*:", c) != nullptr) return false;
  }
  size_t step = 3;
  for (;;) {
    size_t end = value.find_first_of("\\/", step);
    std::string part = value.substr(step, end == std::string::npos ? end : end - step);
    // The platform trims trailing dots and spaces from a step, so "..." or
    // ". ." may act as ".."; no real folder is named like that.
    if (part.find('.') != std::string::npos && part.find_first_not_of(". ") == std::string::npos)
      return false;
    if (end == std::string::npos) return !part.empty();
    step = end + 1;
  }
}

std::string BuildUpdaterPackageUrl(const std::string& folder, const std::string& locale) {
  std::string url = folder;
  if (!locale.empty()) url += locale + "/";
  return url + "zupdater.qpk";
}

std::string BuildPackageBaseUrl(const std::string& folder, const std::string& locale,
                                const std::string& cobrand, bool ligans) {
  constexpr size_t kExtraRoom = 15;  // 16 bytes with the terminator
  std::string url = folder;
  if (!locale.empty()) url += locale + "/";
  if (!cobrand.empty()) url += cobrand + "/";
  if (ligans) url += "ligans/";
  const size_t room = folder.size() + cobrand.size() + kExtraRoom;
  if (url.size() > room) url.resize(room);
  return url;
}
