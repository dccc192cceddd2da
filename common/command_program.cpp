#include "common/command_program.h"

#include <algorithm>

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The end of the first ".exe" (any case) followed by a blank or the end.
size_t FindExeEnd(const std::string& text) {
  static const char kExe[] = ".exe";
  for (size_t at = 0; at + 4 <= text.size(); ++at) {
    size_t i = 0;
    while (i < 4 && LowerAscii(text[at + i]) == kExe[i]) ++i;
    if (i == 4 && (at + 4 == text.size() || IsBlank(text[at + 4]))) return at + 4;
  }
  return std::string::npos;
}
}  // namespace

std::string ProgramOfCommand(const std::string& command) {
  size_t begin = 0;
  while (begin < command.size() && IsBlank(command[begin])) ++begin;
  std::string text = command.substr(begin);
  if (!text.empty() && text[0] == '"') {
    size_t close = text.find('"', 1);
    text = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  } else {
    size_t end = FindExeEnd(text);
    if (end == std::string::npos) {
      size_t slash = text.rfind('\\');
      end = text.find_first_of(" \t", slash == std::string::npos ? 0 : slash);
    }
    // No file name holds a quote: one here would break the quoted restart
    // command.
    text = text.substr(0, std::min(end, text.find('"')));
  }
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  return text;
}

std::string FileNameOfPath(const std::string& path) {
  size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}
