// The texts the update server sends for the prompt: the size tag that may
// lead update.txt or stand in update.html, the page marker, and trimming.
// No Win32 here.
#pragma once
#include <cstddef>
#include <string>

// The buffer update.txt is read into, with its final zero: a longer text is
// cut to 2047 bytes.
constexpr size_t kPromptTextSize = 2048;

// A size tag such as <width=420 height=260>, and the text after it.
struct CZSizeTag {
  int width = 0;
  int height = 0;
  std::string rest;
};

// Finds "<width" and "height" (case-sensitive) and reads the numbers after
// their "=" up to the next blank and the next ">", double quotes removed. The
// rest is what follows that ">" (the whole text without one), trimmed.
// False, and out untouched, when there is no tag.
bool ParseSizeTag(const char* text, CZSizeTag* out);

// The text without white space at either end.
std::string TrimWhiteSpace(const char* text);

// True when the lowered page text carries "<zupdater>" after its first byte.
bool HasPageMarker(const std::string& loweredHtml);
