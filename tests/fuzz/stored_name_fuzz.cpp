// Names a cabinet stores its files under: a name called safe can never
// leave the folder it is extracted into.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "package/stored_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string name(reinterpret_cast<const char*>(data), size);
  name = name.substr(0, name.find('\0'));
  if (!IsSafeStoredName(name.c_str())) return 0;
  FUZZ_CHECK(!name.empty());
  FUZZ_CHECK(name[0] != '\\' && name[0] != '/');
  FUZZ_CHECK(name.find(':') == std::string::npos);
  // Walk the steps as the platform would: none is empty or made of dots (and
  // spaces, which it trims), so the depth never drops below the folder.
  size_t begin = 0;
  for (;;) {
    const size_t end = name.find_first_of("\\/", begin);
    const std::string step = name.substr(begin, end == std::string::npos ? end : end - begin);
    FUZZ_CHECK(!step.empty());
    FUZZ_CHECK(step.find_first_not_of(". ") != std::string::npos ||
               step.find('.') == std::string::npos);
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  return 0;
}
