#include "ui/prompt_text.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {
const char kWidthWord[] = "<width";
const char kHeightWord[] = "height";
const char kPageMarker[] = "<zupdater>";
// Each number starts after its word and the "=" that follows it.
constexpr size_t kNumberOffset = 7;

// Bytes below 0x80 only: in the double-byte code pages no trail byte is
// white space, so trimming bytes never splits a character.
bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The text from start up to end; empty when there is no end or it lies
// before the start.
std::string Between(const char* start, const char* end) {
  if (end == nullptr || end < start) return std::string();
  return std::string(start, end);
}

// Read like atoi (blanks, a sign, digits), but a number too large for an
// int stops at its limit instead of overflowing.
int ReadNumber(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
  const char* p = text.c_str();
  while (IsWhiteSpace(*p)) ++p;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT_MAX) {
      value = INT_MAX;
      break;
    }
  }
  return static_cast<int>(negative ? -value : value);
}
}  // namespace

bool ParseSizeTag(const char* text, CZSizeTag* out) {
  if (text == nullptr) return false;
  const char* width = strstr(text, kWidthWord);
  const char* height = strstr(text, kHeightWord);
  if (width == nullptr || height == nullptr || height == text) return false;
  const char* blank = strchr(width, ' ');
  const char* close = strchr(height, '>');
  // The number starts are only used when their end lies at or after them,
  // so neither is read past the terminator.
  out->width = ReadNumber(Between(width + kNumberOffset, blank));
  out->height = ReadNumber(Between(height + kNumberOffset, close));
  out->rest = TrimWhiteSpace(close != nullptr ? close + 1 : text);
  return true;
}

std::string TrimWhiteSpace(const char* text) {
  if (text == nullptr) return std::string();
  const char* begin = text;
  while (IsWhiteSpace(*begin)) ++begin;
  const char* end = begin + strlen(begin);
  while (end > begin && IsWhiteSpace(end[-1])) --end;
  return std::string(begin, end);
}

bool HasPageMarker(const std::string& loweredHtml) {
  size_t at = loweredHtml.find(kPageMarker);
  return at != std::string::npos && at > 0;
}
