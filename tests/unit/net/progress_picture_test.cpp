// A picture of the download progress window as a person sees it, for the
// README.
#include <gtest/gtest.h>

#include "net/download.h"
#include "net/progress_dialog.h"
#include "server_fixture.h"
#include "x_display.h"

namespace {
std::string g_picture;
bool g_taken = false;

// Runs between two chunks, from the download's own message dispatch.
void CALLBACK TakePicture(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = ProgressDialog();
  if (g_taken || dialog == nullptr || !IsWindowVisible(dialog)) return;
  g_taken = true;
  KillTimer(nullptr, timer);
  g_picture = SaveWindowPicture(dialog, "progress");
}
class ProgressPictureTest : public CZServerTest {};
}  // namespace

TEST_F(ProgressPictureTest, PictureOfTheProgressWindow) {
  // About 4 s of body in slow chunks: the picture is taken half-way.
  ASSERT_TRUE(m_server.SetRule(Path("big.bin"), "size=163840&chunk_delay=0.05"));
  Connect();
  m_net->SetFileCount(3);
  DWORD length = 0;
  HINTERNET request = m_net->OpenGetRequest(Path("big.bin").c_str(), &length);
  ASSERT_NE(nullptr, request);
  CZTempFolder files("picture");
  UINT_PTR timer = SetTimer(nullptr, 0, 1500, TakePicture);
  bool ok = m_net->DownloadRequest(request, "http://updates.zindo.example/m/c/zclose.dl_", nullptr,
                                   0, (files / "zclose.dl_").c_str(), length,
                                   kMaxComponentPackageSize, true, 2);
  KillTimer(nullptr, timer);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(g_taken);
  EXPECT_FALSE(g_picture.empty());
}
