// Version texts from the manifest and the install records: any text parses,
// the order is a total order, and a parsed version written back as four
// numbers parses to itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/version_text.h"
#include "fuzz_check.h"

namespace {
std::string Written(const CZVersion& v) {
  return std::to_string(v.major) + "," + std::to_string(v.minor) + "," + std::to_string(v.build) +
         "," + std::to_string(v.revision);
}
bool Same(const CZVersion& a, const CZVersion& b) {
  return a.major == b.major && a.minor == b.minor && a.build == b.build && a.revision == b.revision;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Two texts: before and after the first zero byte.
  std::string all(reinterpret_cast<const char*>(data), size);
  const size_t cut = all.find('\0');
  const std::string first = all.substr(0, cut);
  const std::string second = cut == std::string::npos ? std::string() : all.substr(cut + 1);
  CZVersion a, b;
  FUZZ_CHECK(ParseVersionText(first.c_str(), &a));
  FUZZ_CHECK(ParseVersionText(second.c_str(), &b));
  FUZZ_CHECK(CompareVersions(a, a) == 0);
  const int ab = CompareVersions(a, b), ba = CompareVersions(b, a);
  FUZZ_CHECK(ab >= -1 && ab <= 1);
  FUZZ_CHECK(ab == -ba);
  FUZZ_CHECK((ab == 0) == Same(a, b));
  CZVersion again;
  FUZZ_CHECK(ParseVersionText(Written(a).c_str(), &again));
  FUZZ_CHECK(Same(a, again));
  // The strict form: what it accepts the run reads the same way, and every
  // version written as four numbers is in it.
  CZVersion exact;
  if (ParseExactVersionText(first.c_str(), &exact)) FUZZ_CHECK(Same(exact, a));
  FUZZ_CHECK(ParseExactVersionText(Written(a).c_str(), &exact) && Same(exact, a));
  char text[32];
  FormatVersionText(a, text, sizeof(text));
  FUZZ_CHECK(Written(a) == text);
  return 0;
}
