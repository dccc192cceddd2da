#include "common/ui_helpers.h"

#include <gtest/gtest.h>

#include "resources/resource.h"

namespace {
int g_timerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_timerTicks; }

ULONGLONG ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  ULARGE_INTEGER k{{kernel.dwLowDateTime, kernel.dwHighDateTime}};
  ULARGE_INTEGER u{{user.dwLowDateTime, user.dwHighDateTime}};
  return (k.QuadPart + u.QuadPart) / 10000;
}
}  // namespace

TEST(WaitWithMessagesTest, DispatchesTheThreadsMessagesWhileItWaits) {
  g_timerTicks = 0;
  UINT_PTR timer = SetTimer(nullptr, 0, 50, CountTick);
  ASSERT_NE(0u, timer);
  DWORD waited = WaitWithMessages(600);
  KillTimer(nullptr, timer);
  EXPECT_GE(waited, 600u);
  EXPECT_GE(g_timerTicks, 3);
}

TEST(WaitWithMessagesTest, ReturnsAtOnceForZero) { EXPECT_LT(WaitWithMessages(0), 50u); }

// The wait blocks between messages rather than spinning on the tick counter.
TEST(WaitWithMessagesTest, LeavesTheProcessorAloneWhileNothingHappens) {
  ULONGLONG before = ProcessCpuMs();
  WaitWithMessages(1000);
  EXPECT_LT(ProcessCpuMs() - before, 300u);
}

TEST(LoadTextTest, ReadsTheStringTable) {
  EXPECT_STREQ("Zindo Patch Keeper", LoadText(IDS_APP_TITLE));
  EXPECT_STREQ("Update Available", LoadText(IDS_PROMPT_TITLE));
  EXPECT_STREQ("Update Failed !", LoadText(IDS_UPDATE_FAILED));
  EXPECT_STREQ("Downloading File %ld of %ld", LoadText(IDS_DOWNLOADING_FILE_N_OF_M));
  EXPECT_STREQ("Downloading File", LoadText(IDS_DOWNLOADING_FILE));
  EXPECT_STREQ("Received %uK of %uK", LoadText(IDS_RECEIVED_K_OF_K));
}

TEST(LoadTextTest, MissingStringIsEmptyAndEveryCallOverwritesTheBuffer) {
  const char* first = LoadText(IDS_APP_TITLE);
  const char* second = LoadText(4242);
  EXPECT_EQ(first, second);
  EXPECT_STREQ("", second);
}
