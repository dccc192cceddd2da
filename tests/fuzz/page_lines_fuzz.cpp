// The client update page cut into lines: the pieces are the text, in order,
// with nothing lost, added or read past its end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "net/page_lines.h"
#include "net/setting_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The page buffer: the body and its terminator, exactly sized.
  std::vector<char> page(data, data + size);
  page.push_back('\0');
  const std::string text(page.data());  // the page ends at its first zero byte
  std::vector<std::string> lines;
  SplitPageLines(page.data(), [&lines](const char* line) {
    lines.emplace_back(line);
    SettingLine parsed;
    ParseSettingLine(line, &parsed);
  });
  std::string joined;
  for (size_t i = 0; i < lines.size(); ++i) {
    FUZZ_CHECK(lines[i].find('\n') == std::string::npos);
    if (i > 0) joined += '\n';
    joined += lines[i];
  }
  // Every line feed ends a piece; the rest after the last one only counts
  // when it is not empty.
  if (!text.empty() && text.back() == '\n') joined += '\n';
  FUZZ_CHECK(joined == text);
  size_t feeds = 0;
  for (char c : text) feeds += c == '\n';
  FUZZ_CHECK(lines.size() == feeds + (text.empty() || text.back() == '\n' ? 0 : 1));
  return 0;
}
