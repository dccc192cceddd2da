#include "net/page_lines.h"

#include <cstring>

void SplitPageLines(char* text, const std::function<void(const char*)>& apply) {
  char* line = text;
  for (char* lf = strchr(line, '\n'); lf != nullptr; lf = strchr(line, '\n')) {
    *lf = '\0';
    apply(line);
    line = lf + 1;
  }
  if (*line != '\0') apply(line);
}
