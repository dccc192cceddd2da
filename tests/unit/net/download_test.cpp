#include "net/download.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "common/process_state.h"
#include "net/progress_dialog.h"
#include "resources/resource.h"
#include "settings/install_records.h"
#include "server_fixture.h"

namespace {
ULONGLONG FileTimeOf(const std::string& path, bool creation) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  FILETIME created, written;
  GetFileTime(file, &created, nullptr, &written);
  CloseHandle(file);
  const FILETIME& t = creation ? created : written;
  return static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

// Every text the status field is given, in order, captured on this thread.
std::vector<std::string> g_statusTexts;
HHOOK g_hook = nullptr;

LRESULT CALLBACK RecordStatusTexts(int code, WPARAM wParam, LPARAM lParam) {
  const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == WM_SETTEXT &&
      GetDlgCtrlID(call->hwnd) == IDC_DOWNLOAD_STATUS)
    g_statusTexts.push_back(reinterpret_cast<const char*>(call->lParam));
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

std::string DialogItemText(HWND dialog, int id) {
  char text[256] = "";
  GetDlgItemTextA(dialog, id, text, sizeof(text));
  return text;
}

class DownloadTest : public CZServerTest {
 protected:
  // Opens a GET for name on the test server; its announced length in *length.
  HINTERNET Open(const std::string& name, DWORD* length) {
    return m_net->OpenGetRequest(Path(name).c_str(), length);
  }
  // Downloads name into a file of the temporary folder; the file's text.
  std::string DownloadToFile(const std::string& name, bool* ok, bool progress = false) {
    DWORD length = 0;
    HINTERNET request = Open(name, &length);
    EXPECT_NE(nullptr, request);
    std::string path = m_files / name;
    *ok = m_net->DownloadRequest(request, m_server.Url(Path(name)).c_str(), nullptr, 0,
                                 path.c_str(), length, kMaxComponentPackageSize, progress, 0);
    return ReadFileText(path);
  }
  CZTempFolder m_files{"dl"};
};
}  // namespace

struct ChunkCase {
  const char* name;
  const char* rule;
  size_t expectedSize;  // bytes that reach the file
};
// Names the case in test listings.
void PrintTo(const ChunkCase& c, std::ostream* os) { *os << c.name; }

class ChunkTest : public DownloadTest, public ::testing::WithParamInterface<ChunkCase> {};

// The server sends more than it announces, so an over-long read would show in
// the file: what arrives tells how much was asked for.
TEST_P(ChunkTest, ReadsOfAtMostOneChunkUpToTheAnnouncedLength) {
  const ChunkCase& c = GetParam();
  ASSERT_TRUE(m_server.SetRule(Path("c.bin"), c.rule));
  Connect();
  bool ok = false;
  std::string body = DownloadToFile("c.bin", &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(c.expectedSize, body.size());
  EXPECT_EQ(GeneratedBody(c.expectedSize), body);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChunkTest,
    ::testing::Values(
        // 2048 then 952: the third chunk the server offers is never asked for.
        ChunkCase{"ThreeThousand", "size=5000&length=3000", 3000},
        // Two full chunks; nothing is asked for past the announced length.
        ChunkCase{"ExactMultiple", "size=6000&length=4096", 4096},
        ChunkCase{"Small", "size=100", 100},
        // The head and the whole body in one write: WinINet holds bytes past
        // the announced length before the first read and hands over whatever
        // is asked for, so the length alone must bound each read.
        ChunkCase{"UnderOneChunkAnnounced", "size=5000&length=100&one_write=1", 100},
        ChunkCase{"LongerThanAnnounced", "size=6000&length=3000&one_write=1", 3000}),
    [](const ::testing::TestParamInfo<ChunkCase>& info) { return std::string(info.param.name); });

struct ShortBodyCase {
  const char* name;
  const char* rule;
  size_t sent;  // bytes the server sends before it stops
};
// Names the case in test listings.
void PrintTo(const ShortBodyCase& c, std::ostream* os) { *os << c.name; }

class ShortBodyTest : public DownloadTest, public ::testing::WithParamInterface<ShortBodyCase> {};

// A body that ends before its announced length is not the file, however the
// end comes (WinINet reports a reset as a failed read or, under Wine, as the
// end of a short body): the download fails without the success line, and the
// file holds no byte that was not sent.
TEST_P(ShortBodyTest, FailsWithoutTheSuccessLine) {
  const ShortBodyCase& c = GetParam();
  ASSERT_TRUE(m_server.SetRule(Path("r.bin"), c.rule));
  Connect();
  bool ok = true;
  std::string body = DownloadToFile("r.bin", &ok);
  EXPECT_FALSE(ok);
  EXPECT_LE(body.size(), c.sent);
  EXPECT_EQ(GeneratedBody(body.size()), body);
  EXPECT_EQ(std::string::npos, LogText().find("r.bin downloaded successfully")) << LogText();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShortBodyTest,
    ::testing::Values(ShortBodyCase{"MidBodyReset", "size=10000&cut_after=3000", 3000},
                      ShortBodyCase{"ClosedEarly", "size=10000&close_after=5000", 5000},
                      ShortBodyCase{"ShorterThanAnnounced", "size=3000&length=5000", 3000},
                      ShortBodyCase{"UnderOneChunk", "size=100&length=1000", 100}),
    [](const ::testing::TestParamInfo<ShortBodyCase>& info) {
      return std::string(info.param.name);
    });

// A server that stops sending in the middle of a body does not hold the
// updater forever: after a minute without a byte the download fails like a
// broken connection.
TEST_F(DownloadTest, BodyThatStallsForOverAMinuteFails) {
  ASSERT_TRUE(m_server.SetRule(Path("stall.bin"), "size=10000&stall_after=3000&stall=90"));
  Connect();
  const DWORD started = GetTickCount();
  bool ok = true;
  std::string body = DownloadToFile("stall.bin", &ok);
  const DWORD took = GetTickCount() - started;
  EXPECT_FALSE(ok);
  EXPECT_LE(body.size(), 3000u);
  EXPECT_EQ(std::string::npos, LogText().find("stall.bin downloaded successfully")) << LogText();
  // Not before the minute, and well before the server would have gone on.
  EXPECT_GE(took, 55000u);
  EXPECT_LT(took, 85000u);
}

struct CeilingCase {
  const char* name;
  const char* rule;
  DWORD ceiling;
  const char* logLine;  // "{url}" filled
};
void PrintTo(const CeilingCase& c, std::ostream* os) { *os << c.name; }

class CeilingTest : public DownloadTest, public ::testing::WithParamInterface<CeilingCase> {};

// A length above the kind's ceiling is refused before the file exists: not
// a byte of it reaches the disk, and the log says why.
TEST_P(CeilingTest, AnnouncedLengthAboveTheCeilingWritesNoFile) {
  const CeilingCase& c = GetParam();
  ASSERT_TRUE(m_server.SetRule(Path("big.bin"), c.rule));
  Connect();
  DWORD length = 0;
  HINTERNET request = Open("big.bin", &length);
  ASSERT_NE(nullptr, request);
  const std::string url = m_server.Url(Path("big.bin"));
  EXPECT_FALSE(m_net->DownloadRequest(request, url.c_str(), nullptr, 0,
                                      (m_files / "big.bin").c_str(), length, c.ceiling, false, 0));
  EXPECT_FALSE(FileExists(m_files / "big.bin"));
  std::string line = c.logLine;
  line.replace(line.find("{url}"), 5, url);
  EXPECT_NE(std::string::npos, LogText().find(line)) << LogText();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CeilingTest,
    ::testing::Values(
        CeilingCase{"FourGigabytes", "size=10000&length=4000000000", kMaxComponentPackageSize,
                    "{url} announces 4000000000 bytes, more than the 134217728 allowed, "
                    "refused\r\n"},
        CeilingCase{"OneByteOver", "size=1048577", kMaxRegScriptPackageSize,
                    "{url} announces 1048577 bytes, more than the 1048576 allowed, refused\r\n"}),
    [](const ::testing::TestParamInfo<CeilingCase>& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, ShortBodyInMemoryFails) {
  ASSERT_TRUE(m_server.SetRule(Path("p.html"), "size=300&length=900"));
  Connect();
  DWORD length = 0;
  HINTERNET request = Open("p.html", &length);
  ASSERT_NE(nullptr, request);
  std::vector<char> buffer(4096, '\0');
  EXPECT_FALSE(m_net->DownloadRequest(request, "p", buffer.data(), 4095, nullptr, length,
                                      kMaxComponentPackageSize, false, 0));
  EXPECT_NE(std::string::npos, LogText().find("p download incomplete: 300 of 900 bytes\r\n"))
      << LogText();
  EXPECT_EQ(std::string::npos, LogText().find("downloaded successfully")) << LogText();
}

enum class Outcome { kRead, kRefused, kEither };

struct MemoryCase {
  const char* name;
  const char* rule;
  DWORD bufferSize;
  Outcome outcome;
  size_t bytes;  // body bytes that must be in the buffer when it was read
};
// Names the case in test listings.
void PrintTo(const MemoryCase& c, std::ostream* os) { *os << c.name; }

class MemoryDownloadTest : public DownloadTest, public ::testing::WithParamInterface<MemoryCase> {};

// The buffer is followed by a guard area that must stay untouched, whatever
// the server announces or sends.
TEST_P(MemoryDownloadTest, NeverWritesPastTheBuffer) {
  const MemoryCase& c = GetParam();
  ASSERT_TRUE(m_server.SetRule(Path("m.bin"), c.rule));
  Connect();
  DWORD length = 0;
  HINTERNET request = Open("m.bin", &length);
  ASSERT_NE(nullptr, request);
  std::vector<char> guarded(c.bufferSize + 4096, '\x5A');
  bool ok = m_net->DownloadRequest(request, "m", guarded.data(), c.bufferSize, nullptr, length,
                                   kMaxComponentPackageSize, false, 0);
  for (size_t i = c.bufferSize; i < guarded.size(); ++i) ASSERT_EQ('\x5A', guarded[i]) << i;
  if (c.outcome != Outcome::kEither) {
    EXPECT_EQ(c.outcome == Outcome::kRead, ok);
  }
  if (ok) {
    EXPECT_EQ(GeneratedBody(c.bytes), std::string(guarded.data(), c.bytes));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MemoryDownloadTest,
    ::testing::Values(
        // Under one chunk announced, more sent: every read asks for a chunk.
        // How much WinINet hands over beyond the announced length depends on
        // what it had buffered with the headers; either way no byte may pass
        // the buffer and a body that does not fit is refused.
        MemoryCase{"LongerThanAnnounced", "size=9000&length=100", 2048 + 16, Outcome::kEither, 100},
        // Announced more than the caller can hold: refused, not cut.
        MemoryCase{"AnnouncedMoreThanTheBuffer", "size=3000", 1000, Outcome::kRefused, 0},
        MemoryCase{"SentMoreThanTheBuffer", "size=5000&length=1500", 1000, Outcome::kRefused, 0},
        MemoryCase{"FillsTheBufferExactly", "size=1000", 1000, Outcome::kRead, 1000},
        MemoryCase{"ExactChunks", "size=4096", 4096, Outcome::kRead, 4096}),
    [](const ::testing::TestParamInfo<MemoryCase>& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, MemoryDownloadLogsWithoutAFile) {
  ASSERT_TRUE(m_server.SetRule(Path("page.html"), "body=ServerPage%3Dhttp://x/"));
  Connect();
  DWORD length = 0;
  HINTERNET request = Open("page.html", &length);
  ASSERT_NE(nullptr, request);
  std::vector<char> buffer(4096, '\0');
  EXPECT_TRUE(m_net->DownloadRequest(request, "http://x/page.html", buffer.data(), 4095, nullptr,
                                     length, kMaxComponentPackageSize, false, 0));
  EXPECT_STREQ("ServerPage=http://x/", buffer.data());
  std::string log = LogText();
  EXPECT_NE(std::string::npos, log.find("http://x/page.html downloaded successfully \r\n")) << log;
}

TEST_F(DownloadTest, NullRequestIsRefused) {
  EXPECT_FALSE(m_net->DownloadRequest(nullptr, "x", nullptr, 0, (m_files / "x").c_str(), 10,
                                      kMaxComponentPackageSize, false, 0));
  EXPECT_FALSE(FileExists(m_files / "x"));
}

TEST_F(DownloadTest, WrittenFileCarriesTheServerDate) {
  ASSERT_TRUE(m_server.SetRule(Path("t.dl_"), "size=3000&last_modified=1700000000"));
  Connect();
  std::string local = m_files / "t.dll";
  ASSERT_TRUE(WriteFileText(local, "local copy"));
  // The local copy is newer; the server's date is fetched all the same.
  ASSERT_EQ(0, m_net->IsServerFileNewer(local.c_str(), Path("t.dl_").c_str()));
  const ULONGLONG stamp = 116444736000000000ULL + 1700000000ULL * 10000000ULL;
  ASSERT_EQ(stamp, m_net->ServerFileTime());
  bool ok = false;
  DownloadToFile("t.dl_", &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(stamp, FileTimeOf(m_files / "t.dl_", false));
  EXPECT_EQ(stamp, FileTimeOf(m_files / "t.dl_", true));
  std::string log = LogText();
  EXPECT_NE(std::string::npos,
            log.find(m_server.Url(Path("t.dl_")) + " downloaded successfully to file " +
                     (m_files / "t.dl_") + ", SetFileTime succeeded\r\n"))
      << log;
}

struct UnwritableCase {
  const char* name;
  const char* path;  // relative to the test's folder, or absolute
};
// Names the case in test listings.
void PrintTo(const UnwritableCase& c, std::ostream* os) { *os << c.name; }

class UnwritableFileTest : public DownloadTest,
                           public ::testing::WithParamInterface<UnwritableCase> {};

// A file that cannot be created or cannot take every byte (a full disk) is no
// download: the cut file would otherwise be read as it is.
TEST_P(UnwritableFileTest, FailsAndSaysSo) {
  const UnwritableCase& c = GetParam();
  ASSERT_TRUE(m_server.SetRule(Path("n.bin"), "size=5000"));
  Connect();
  DWORD length = 0;
  HINTERNET request = Open("n.bin", &length);
  ASSERT_NE(nullptr, request);
  std::string path = c.path[0] == 'Z' ? std::string(c.path) : m_files / c.path;
  EXPECT_FALSE(m_net->DownloadRequest(request, "n", nullptr, 0, path.c_str(), length,
                                      kMaxComponentPackageSize, false, 0));
  std::string log = LogText();
  EXPECT_NE(std::string::npos, log.find("n could not be written to file " + path + "\r\n")) << log;
  EXPECT_EQ(std::string::npos, log.find("downloaded successfully")) << log;
}

INSTANTIATE_TEST_SUITE_P(Cases, UnwritableFileTest,
                         ::testing::Values(UnwritableCase{"MissingFolder", "no_such_folder\\n.bin"},
                                           // Every write fails as on a full disk.
                                           UnwritableCase{"FullDisk", "Z:\\dev\\full"}),
                         [](const ::testing::TestParamInfo<UnwritableCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(DownloadTest, StatusTextsFollowTheChunks) {
  ASSERT_TRUE(m_server.SetRule(Path("s.bin"), "size=5000"));
  Connect();
  g_statusTexts.clear();
  g_hook = SetWindowsHookExA(WH_CALLWNDPROC, RecordStatusTexts, nullptr, GetCurrentThreadId());
  ASSERT_NE(nullptr, g_hook);
  m_net->SetFileCount(3);
  DWORD length = 0;
  HINTERNET request = Open("s.bin", &length);
  ASSERT_NE(nullptr, request);
  std::string path = m_files / "s.bin";
  bool ok = m_net->DownloadRequest(request, "http://loc/s.bin", nullptr, 0, path.c_str(), length,
                                   kMaxComponentPackageSize, true, 2);
  UnhookWindowsHookEx(g_hook);
  EXPECT_TRUE(ok);
  // Set up, after the first chunk, and at the end; "4K" in between only when
  // the refresh interval passed between two chunks.
  std::vector<std::string> expected = {"Received 0K of 5K", "Received 0K of 5K",
                                       "Received 2K of 5K", "Received 5K of 5K"};
  if (g_statusTexts.size() == 5 && g_statusTexts[3] == "Received 4K of 5K")
    g_statusTexts.erase(g_statusTexts.begin() + 3);
  EXPECT_EQ(expected, g_statusTexts);
  HWND dialog = ProgressDialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ("Received 5K of 5K", DialogItemText(dialog, IDC_DOWNLOAD_STATUS));
  EXPECT_EQ("http://loc/s.bin", DialogItemText(dialog, IDC_DOWNLOAD_LOCATION));
  char caption[256];
  GetWindowTextA(dialog, caption, sizeof(caption));
  EXPECT_STREQ("Downloading File 2 of 3", caption);
  EXPECT_EQ(5000u, ReadFileText(path).size());
}

TEST_F(DownloadTest, DialogIsReusedUntilDestroyed) {
  ASSERT_TRUE(m_server.SetRule(Path("d.bin"), "size=100"));
  Connect();
  bool ok = false;
  DownloadToFile("d.bin", &ok, true);
  HWND first = ProgressDialog();
  ASSERT_NE(nullptr, first);
  char caption[256];
  GetWindowTextA(first, caption, sizeof(caption));
  EXPECT_STREQ("Downloading File", caption);
  DownloadToFile("d.bin", &ok, true);
  EXPECT_EQ(first, ProgressDialog());
  DestroyProgressDialog();
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(nullptr, ProgressDialog());
}

TEST_F(DownloadTest, ClosingTheDialogIsNoCancel) {
  ASSERT_TRUE(m_server.SetRule(Path("d.bin"), "size=3000"));
  Connect();
  bool ok = false;
  DownloadToFile("d.bin", &ok, true);
  HWND first = ProgressDialog();
  ASSERT_NE(nullptr, first);
  SendMessageA(first, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_FALSE(IsDownloadCancelled());
  // The next download that shows progress brings a dialog back.
  EXPECT_EQ(3000u, DownloadToFile("d.bin", &ok, true).size());
  EXPECT_TRUE(ok);
  EXPECT_NE(nullptr, ProgressDialog());
}

TEST_F(DownloadTest, CancelButtonEndsThisAndEveryLaterDownload) {
  // About 5 s of body, in slow chunks, so the button is pressed mid-way.
  ASSERT_TRUE(m_server.SetRule(Path("slow.bin"), "size=204800&chunk_delay=0.05"));
  ASSERT_TRUE(m_server.SetRule(Path("next.bin"), "size=3000&last_modified=1700000000"));
  Connect();
  std::atomic<bool> pressed{false};
  std::thread presser([&] {
    HWND dialog = nullptr;
    WaitUntil([&] { return (dialog = FindWindowA("#32770", "Downloading File")) != nullptr; },
              20000);
    if (dialog == nullptr) return;
    Sleep(500);
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    // Delivered while the download loop dispatches its messages.
    SendMessageA(cancel, BM_CLICK, 0, 0);
    pressed = true;
  });
  bool ok = true;
  std::string body = DownloadToFile("slow.bin", &ok, true);
  presser.join();
  ASSERT_TRUE(pressed);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(IsDownloadCancelled());
  EXPECT_NE(std::string::npos, LogText().find("slow.bin downloaded successfully to file"));
  // The part received is not kept, nor its record for the next run.
  EXPECT_EQ("", body);
  EXPECT_FALSE(FileExists(m_files / "slow.bin"));
  EXPECT_TRUE(PendingPackages().empty());

  // A later download reads nothing and logs its file, which it does not
  // keep: no older file of its name passes for it either.
  ASSERT_TRUE(WriteFileText(m_files / "next.bin", "old content"));
  std::string next = DownloadToFile("next.bin", &ok, true);
  EXPECT_FALSE(ok);
  EXPECT_EQ("", next);
  EXPECT_FALSE(FileExists(m_files / "next.bin"));
  EXPECT_NE(std::string::npos, LogText().find("next.bin downloaded successfully to file"));
}
