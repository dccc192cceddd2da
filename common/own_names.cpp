#include "common/own_names.h"

namespace {
const char* const kOwnNames[] = {kUpdaterFileName, kNewUpdaterFileName, kNewUpdaterImageName,
                                 kRelayFileName,   "components.ini",    "update.reg",
                                 "update_reg.qpk", "WriteCheck.tmp",    "logs"};

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows drops trailing dots and blanks: "zupdater.exe. " is zupdater.exe.
std::string AsWindowsReadsIt(const std::string& name) {
  size_t end = name.size();
  while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
  std::string folded = name.substr(0, end);
  for (char& c : folded) c = FoldCase(c);
  return folded;
}
}  // namespace

bool IsUpdaterOwnName(const std::string& name) {
  const std::string folded = AsWindowsReadsIt(name);
  for (const char* own : kOwnNames)
    if (folded == AsWindowsReadsIt(own)) return true;
  return false;
}
