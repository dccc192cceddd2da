// The prompt texts the update server sends: a size tag parses without
// reading past the text, its rest is a trimmed piece of the text, and a
// refused text leaves the result untouched.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "ui/prompt_text.h"

namespace {
bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The text as the prompt holds it: an exactly sized, terminated copy.
  std::unique_ptr<char[]> text(new char[size + 1]);
  memcpy(text.get(), data, size);
  text[size] = '\0';
  const std::string whole(text.get());

  CZSizeTag tag;
  tag.width = -7;
  tag.rest = "untouched";
  if (ParseSizeTag(text.get(), &tag)) {
    FUZZ_CHECK(whole.find("<width") != std::string::npos);
    FUZZ_CHECK(whole.find("height") != std::string::npos);
    FUZZ_CHECK(whole.find(tag.rest) != std::string::npos);
    if (!tag.rest.empty()) {
      FUZZ_CHECK(!IsWhiteSpace(tag.rest.front()) && !IsWhiteSpace(tag.rest.back()));
    }
  } else {
    FUZZ_CHECK(tag.width == -7 && tag.rest == "untouched");
  }

  const std::string trimmed = TrimWhiteSpace(text.get());
  FUZZ_CHECK(trimmed.size() <= whole.size());
  FUZZ_CHECK(whole.find(trimmed) != std::string::npos);
  FUZZ_CHECK(TrimWhiteSpace(trimmed.c_str()) == trimmed);

  const size_t marker = whole.find("<zupdater>");
  FUZZ_CHECK(HasPageMarker(whole) == (marker != std::string::npos && marker > 0));
  return 0;
}
