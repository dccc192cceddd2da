#include "common/test_hooks.h"

#ifdef ZUPDATER_TEST_HOOKS
#include <windows.h>

#include <cstdlib>

unsigned TestTimeScale() {
  char text[16] = "";
  const DWORD n = GetEnvironmentVariableA("ZUPDATER_TEST_TIME_SCALE", text, sizeof(text));
  if (n == 0 || n >= sizeof(text)) return 1;
  char* end = nullptr;
  const unsigned long scale = strtoul(text, &end, 10);
  if (end == text || *end != '\0' || scale < 1 || scale > 1000000) return 1;
  return static_cast<unsigned>(scale);
}
#endif
