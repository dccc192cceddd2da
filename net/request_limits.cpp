#include "net/request_limits.h"

#include "common/test_hooks.h"

DWORD ScaledLimitMs(DWORD ms) {
#ifdef ZUPDATER_TEST_HOOKS
  ms /= TestTimeScale();
#endif
  return ms > 0 ? ms : 1;
}

ULONGLONG BodyDeadlineMs(DWORD length) {
  ULONGLONG ms = kBodyBaseDeadlineMs + static_cast<ULONGLONG>(length) * 1000 / kMinBodyRate;
#ifdef ZUPDATER_TEST_HOOKS
  ms /= TestTimeScale();
#endif
  return ms > 0 ? ms : 1;
}
