// The real zupdater.exe, started in a folder of its own, through its
// start-up courses: the temporary-copy relay, the stale-copy removal, the
// write check and an earlier instance's window.
#include <gtest/gtest.h>

#include <string>

#include "http_test_server.h"
#include "reg_values.h"
#include "test_support.h"

namespace {
constexpr DWORD kRunTimeoutMs = 30000;
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";

std::string Quote(const std::string& path) { return "\"" + path + "\""; }

bool CopyProgram(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

void SetLogUpdate() { SetRegDword(HKEY_CURRENT_USER, kMurvoKey, "LogUpdate", 0); }

void ClearLogUpdate() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kMurvoKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    RegDeleteValueA(key, "LogUpdate");
    RegCloseKey(key);
  }
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearLogUpdate(); }
  void TearDown() override { ClearLogUpdate(); }
  CZTempFolder m_dir{"startup"};
};
}  // namespace

// A temporary copy that cannot replace zupdater.exe starts the old one again,
// with the command line it was given.
TEST_F(StartupTest, RelayStartsZupdaterWithTheSameCommandLine) {
  ASSERT_TRUE(CopyProgram(UpdaterExePath(), m_dir / "zudptemp.exe"));
  ASSERT_TRUE(CopyProgram(TestProgramFolder() + "record_args.exe", m_dir / "zupdater.exe"));
  // Holding the old updater open for reading keeps the copy from replacing it.
  HANDLE held = CreateFileA((m_dir / "zupdater.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  const std::string args = "ServerPage=http://127.0.0.1/x.html;File=abc.dll";
  EXPECT_EQ(0u, RunProgram(Quote(m_dir / "zudptemp.exe") + " " + args, m_dir.path(),
                           kRunTimeoutMs));
  EXPECT_TRUE(WaitUntil([&] { return FileExists(m_dir / "args.txt"); }, kRunTimeoutMs));
  CloseHandle(held);
  EXPECT_EQ("\"zupdater.exe\" " + args + "\n", ReadFileText(m_dir / "args.txt"));
}

TEST_F(StartupTest, RelayCommandLineIsCutAt259Characters) {
  ASSERT_TRUE(CopyProgram(UpdaterExePath(), m_dir / "ZUDPTEMP.EXE"));
  ASSERT_TRUE(CopyProgram(TestProgramFolder() + "record_args.exe", m_dir / "zupdater.exe"));
  HANDLE held = CreateFileA((m_dir / "zupdater.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  const std::string args = "File=" + std::string(300, 'q');
  RunProgram(Quote(m_dir / "ZUDPTEMP.EXE") + " " + args, m_dir.path(), kRunTimeoutMs);
  EXPECT_TRUE(WaitUntil([&] { return FileExists(m_dir / "args.txt"); }, kRunTimeoutMs));
  CloseHandle(held);
  EXPECT_EQ("\"zupdater.exe\" " + args.substr(0, 259) + "\n", ReadFileText(m_dir / "args.txt"));
}

// The temporary copy puts itself in place of zupdater.exe; the new updater
// then removes the temporary copy.
TEST_F(StartupTest, RelayReplacesZupdaterAndTheNewOneRemovesTheCopy) {
  ASSERT_TRUE(CopyProgram(UpdaterExePath(), m_dir / "zudptemp.exe"));
  ASSERT_TRUE(CopyProgram(TestProgramFolder() + "record_args.exe", m_dir / "zupdater.exe"));
  const std::string relay = ReadFileText(m_dir / "zudptemp.exe");
  EXPECT_EQ(0u, RunProgram(Quote(m_dir / "zudptemp.exe"), m_dir.path(), kRunTimeoutMs));
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(m_dir / "zudptemp.exe"); }, kRunTimeoutMs));
  EXPECT_TRUE(ReadFileText(m_dir / "zupdater.exe") == relay);
  EXPECT_FALSE(FileExists(m_dir / "args.txt"));
}

TEST_F(StartupTest, NormalRunDeletesAStaleTemporaryCopy) {
  ASSERT_TRUE(CopyProgram(UpdaterExePath(), m_dir / "zupdater.exe"));
  ASSERT_TRUE(WriteFileText(m_dir / "ZUDPTEMP.EXE", "stale"));
  EXPECT_EQ(0u, RunProgram(Quote(m_dir / "zupdater.exe"), m_dir.path(), kRunTimeoutMs));
  EXPECT_FALSE(FileExists(m_dir / "ZUDPTEMP.EXE"));
}

TEST_F(StartupTest, StaleCopyInUseIsLeftAndTheRunGoesOn) {
  ASSERT_TRUE(CopyProgram(UpdaterExePath(), m_dir / "zupdater.exe"));
  ASSERT_TRUE(WriteFileText(m_dir / "ZUDPTEMP.EXE", "in use"));
  CreateDirectoryA((m_dir / "logs").c_str(), nullptr);
  SetLogUpdate();
  HANDLE held = CreateFileA((m_dir / "ZUDPTEMP.EXE").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  DWORD start = GetTickCount();
  EXPECT_EQ(0u, RunProgram(Quote(m_dir / "zupdater.exe"), m_dir.path(), kRunTimeoutMs));
  DWORD took = GetTickCount() - start;
  CloseHandle(held);
  EXPECT_TRUE(FileExists(m_dir / "ZUDPTEMP.EXE"));
  EXPECT_GE(took, 1000u);  // two attempts, each followed by 500 ms
  EXPECT_TRUE(FileExists(m_dir / "logs\\updater.log"));
}

// With its folder not writable the updater builds no run: no log although
// the host client asks for one, and not a byte to the update server.
TEST_F(StartupTest, UnwritableFolderEndsTheRunBeforeItStarts) {
  CZHttpTestServer server;
  ASSERT_TRUE(server.IsRunning()) << "the http_server fixture did not start";
  const std::string prefix = TestPathPrefix();
  server.Clear(prefix);
  ASSERT_TRUE(WriteFileText(server.ServedPath(prefix + "corvcli.html"), "File=x\n"));
  const std::string run = Quote(m_dir / "zupdater.exe") + " ServerPage=" +
                          server.Url(prefix + "corvcli.html");
  ASSERT_TRUE(CopyProgram(UpdaterExePath(), m_dir / "zupdater.exe"));
  CreateDirectoryA((m_dir / "WriteCheck.tmp").c_str(), nullptr);
  CreateDirectoryA((m_dir / "logs").c_str(), nullptr);
  SetLogUpdate();
  EXPECT_EQ(0u, RunProgram(run, m_dir.path(), kRunTimeoutMs));
  EXPECT_FALSE(FileExists(m_dir / "logs\\updater.log"));
  EXPECT_EQ("", server.Requests(prefix));

  RemoveDirectoryA((m_dir / "WriteCheck.tmp").c_str());
  EXPECT_EQ(0u, RunProgram(run, m_dir.path(), kRunTimeoutMs));
  EXPECT_TRUE(FileExists(m_dir / "logs\\updater.log"));
  EXPECT_NE(std::string::npos, server.Requests(prefix).find("GET " + prefix + "corvcli.html"));
}

TEST_F(StartupTest, EarlierInstanceThatStaysEndsTheRunUntouched) {
  ASSERT_TRUE(CopyProgram(UpdaterExePath(), m_dir / "zupdater.exe"));
  ASSERT_TRUE(WriteFileText(m_dir / "ZUDPTEMP.EXE", "stale"));
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "PATCHKEEPER";
  RegisterClassA(&wc);
  HWND earlier = CreateWindowExA(0, "PATCHKEEPER", "Zindo Patch Keeper", WS_OVERLAPPEDWINDOW, 0,
                                 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(nullptr, earlier);
  EXPECT_EQ(0u, RunProgram(Quote(m_dir / "zupdater.exe"), m_dir.path(), kRunTimeoutMs));
  EXPECT_TRUE(FileExists(m_dir / "ZUDPTEMP.EXE"));
  DestroyWindow(earlier);
  EXPECT_EQ(0u, RunProgram(Quote(m_dir / "zupdater.exe"), m_dir.path(), kRunTimeoutMs));
  EXPECT_FALSE(FileExists(m_dir / "ZUDPTEMP.EXE"));
}

TEST(UpdaterFileTest, CarriesItsOwnVersionResource) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(UpdaterExePath().c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::string data(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(UpdaterExePath().c_str(), 0, size, &data[0]));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
  EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
  char* name = nullptr;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904b0\\OriginalFilename",
                             reinterpret_cast<void**>(&name), &length));
  EXPECT_STREQ("zupdater.exe", name);
}

// The manifest Windows reads before the program starts: the user's own
// rights (no elevation prompt, no virtualised writes), Windows 7 to 11, and
// nothing that would change the dialogs' look or scaling.
TEST(UpdaterFileTest, CarriesAnAsInvokerManifest) {
  HMODULE image = LoadLibraryExA(UpdaterExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, image);
  HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(nullptr, found) << "no RT_MANIFEST resource 1";
  HGLOBAL loaded = LoadResource(image, found);
  const char* bytes = static_cast<const char*>(LockResource(loaded));
  ASSERT_NE(nullptr, bytes);
  const std::string manifest(bytes, SizeofResource(image, found));
  FreeLibrary(image);
  EXPECT_NE(std::string::npos,
            manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"))
      << manifest;
  for (const char* os : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                         "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                         "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                         "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
    EXPECT_NE(std::string::npos, manifest.find(std::string("<supportedOS Id=\"") + os + "\"/>"))
        << os;
  EXPECT_EQ(std::string::npos, manifest.find("Common-Controls")) << manifest;
  EXPECT_EQ(std::string::npos, manifest.find("dpiAware")) << manifest;
}
