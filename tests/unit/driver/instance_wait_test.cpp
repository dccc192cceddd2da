#include <gtest/gtest.h>

#include "common/bounded_text.h"
#include "common/process_state.h"
#include "driver/entry.h"
#include "resources/resource.h"

namespace {
const char kOtherClass[] = "PATCHKEEPER";
HWND g_earlier = nullptr;

// An earlier updater's window, owned by this thread under its own class
// registration so RegisterMainClass can register the real one after it goes.
HWND CreateEarlierInstanceWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kOtherClass;
  RegisterClassA(&wc);
  return CreateWindowExA(0, kOtherClass, "Zindo Patch Keeper", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                         nullptr, nullptr, wc.hInstance, nullptr);
}

void CALLBACK CloseEarlier(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  DestroyWindow(g_earlier);
  UnregisterClassA(kOtherClass, GetModuleHandleA(nullptr));
}

class InstanceWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CopyBounded(g_szWindowClass, "PATCHKEEPER");
    CopyBounded(g_szTitle, "Zindo Patch Keeper");
  }
};
}  // namespace

TEST_F(InstanceWaitTest, NoEarlierWindowRegistersAtOnce) {
  DWORD start = GetTickCount();
  EXPECT_NE(0, RegisterMainClass(GetModuleHandleA(nullptr)));
  EXPECT_LT(GetTickCount() - start, kInstanceWaitMs);
}

TEST_F(InstanceWaitTest, GivesUpAfterElevenWaits) {
  g_earlier = CreateEarlierInstanceWindow();
  ASSERT_NE(nullptr, g_earlier);
  DWORD start = GetTickCount();
  EXPECT_EQ(0, RegisterMainClass(GetModuleHandleA(nullptr)));
  DWORD waited = GetTickCount() - start;
  EXPECT_GE(waited, kInstanceWaits * kInstanceWaitMs);
  EXPECT_LT(waited, (kInstanceWaits + 1) * kInstanceWaitMs);
  DestroyWindow(g_earlier);
}

TEST_F(InstanceWaitTest, ProceedsAsSoonAsTheEarlierWindowGoes) {
  g_earlier = CreateEarlierInstanceWindow();
  ASSERT_NE(nullptr, g_earlier);
  // The timer fires inside the wait, which dispatches this thread's messages.
  SetTimer(nullptr, 0, 1200, CloseEarlier);
  DWORD start = GetTickCount();
  EXPECT_NE(0, RegisterMainClass(GetModuleHandleA(nullptr)));
  DWORD waited = GetTickCount() - start;
  EXPECT_GE(waited, 1200u);
  EXPECT_LT(waited, 4 * kInstanceWaitMs);
}

TEST_F(InstanceWaitTest, AWindowWithAnotherTitleIsNoEarlierInstance) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kOtherClass;
  RegisterClassA(&wc);
  HWND other = CreateWindowExA(0, kOtherClass, "Something else", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                               nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(nullptr, other);
  DWORD start = GetTickCount();
  RegisterMainClass(GetModuleHandleA(nullptr));
  EXPECT_LT(GetTickCount() - start, kInstanceWaitMs);
  DestroyWindow(other);
}
