// Setting lines as the client update page and the command line carry them:
// the parse is bounded, trimmed and round-trips, and the ApplicationName
// rules never let a non-local path or a ".." step through.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "net/setting_line.h"

namespace {
const char* const kKeyNames[] = {"ApplicationName",    "ServerPage",   "File",
                                 "PATCHKEEPER-FOLDER", "MURVO-FOLDER", "IPAddrLookup",
                                 "HttpServers",        "SocketServers"};

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void CheckApplicationName(const std::string& value) {
  std::string folder, exe;
  if (SplitApplicationName(value, &folder, &exe)) {
    FUZZ_CHECK(!folder.empty() && folder.back() == '\\');
    FUZZ_CHECK(folder.size() + exe.size() == value.size());
    FUZZ_CHECK(exe.find('\\') == std::string::npos);
    FUZZ_CHECK(EqualsNoCase(exe, value.substr(value.size() - exe.size())));
  }
  if (IsLocalAbsolutePath(value)) {
    FUZZ_CHECK(value.size() >= 4 && value[1] == ':' && value[2] == '\\');
    FUZZ_CHECK(value.find('"') == std::string::npos);
    FUZZ_CHECK(value.find(':', 2) == std::string::npos);
    FUZZ_CHECK(value.find("\\..\\") == std::string::npos);
    FUZZ_CHECK(value.find("/../") == std::string::npos);
    FUZZ_CHECK(value.back() != '\\' && value.back() != '/');
    std::string tail = value.size() >= 3 ? value.substr(value.size() - 3) : value;
    FUZZ_CHECK(tail != "\\.." && tail != "/..");
    // A local path from the page must split into a folder and a name.
    FUZZ_CHECK(SplitApplicationName(value, &folder, &exe));
    FUZZ_CHECK(!exe.empty());
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  SettingLine parsed{SettingKey::File, "untouched"};
  const bool accepted = ParseSettingLine(line.c_str(), &parsed);
  if (!accepted) {
    FUZZ_CHECK(parsed.key == SettingKey::File && parsed.value == "untouched");
  } else {
    FUZZ_CHECK(parsed.value.size() < 1023);
    FUZZ_CHECK(parsed.value.find('\0') == std::string::npos);
    if (!parsed.value.empty()) FUZZ_CHECK(!IsSpace(parsed.value.back()));
    // Written back as "Key=value" it parses to the same setting.
    const std::string canonical =
        std::string(kKeyNames[static_cast<int>(parsed.key)]) + "=" + parsed.value;
    SettingLine again{SettingKey::File, ""};
    if (canonical.size() <= 1023) {
      FUZZ_CHECK(ParseSettingLine(canonical.c_str(), &again));
      FUZZ_CHECK(again.key == parsed.key && again.value == parsed.value);
    }
    if (parsed.key == SettingKey::ApplicationName) CheckApplicationName(parsed.value);
  }
  CheckApplicationName(line.substr(0, line.find('\0')));

  // Folder URLs stay within their room whatever the parts.
  const size_t third = size / 3;
  const std::string folder = line.substr(0, third), locale = line.substr(third, third),
                    cobrand = line.substr(2 * third);
  FUZZ_CHECK(BuildPackageBaseUrl(folder, locale, cobrand, size % 2 == 0).size() <=
             folder.size() + cobrand.size() + 15);
  FUZZ_CHECK(BuildUpdaterPackageUrl(folder, locale).compare(0, folder.size(), folder) == 0);
  return 0;
}
