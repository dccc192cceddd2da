#include "full_site.h"

#include <gtest/gtest.h>

#include <cstring>

#include "package/file_version.h"
#include "reg_values.h"
#include "x_display.h"

namespace {
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";
const char kPromptTitle[] = "Update Available";
const char kDialogClass[] = "#32770";
// Captions of the "Update Failed !" box.
const char* const kBoxTitles[] = {"Error", "Zindo Patch Keeper"};
constexpr DWORD kPollMs = 100;

bool CopyTree(const std::string& from, const std::string& to, const std::string& url) {
  CreateDirectoryA(to.c_str(), nullptr);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((from + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = CopyTree(from + name + "\\", to + name + "\\", url) && ok;
    } else if (name == "corvcli.html" || name == "components.html") {
      ok = WriteFileText(to + name, ReplaceAll(ReadFileText(from + name), kSiteBaseUrl, url)) && ok;
    } else {
      ok = CopyFileA((from + name).c_str(), (to + name).c_str(), FALSE) != 0 && ok;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return ok;
}

// The environment of this process with TMP and TEMP naming folder.
std::vector<char> EnvironmentWithTemp(const std::string& folder) {
  std::vector<char> block;
  char* strings = GetEnvironmentStringsA();
  for (const char* at = strings; *at != '\0'; at += strlen(at) + 1) {
    if (_strnicmp(at, "TMP=", 4) == 0 || _strnicmp(at, "TEMP=", 5) == 0) continue;
    block.insert(block.end(), at, at + strlen(at) + 1);
  }
  FreeEnvironmentStringsA(strings);
  for (const char* name : {"TMP=", "TEMP="}) {
    std::string entry = name + folder;
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back('\0');
  }
  block.push_back('\0');
  return block;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM out) {
  char className[32] = "", text[512] = "";
  GetClassNameA(child, className, sizeof(className));
  if (_stricmp(className, "Static") == 0 && GetWindowTextA(child, text, sizeof(text)) > 0)
    *reinterpret_cast<std::string*>(out) += text;
  return TRUE;
}
}  // namespace

const char* const kUpdatedFiles[3] = {"zsilent.dll", "zclose.dll", "plugins\\zoffer.dll"};
const char kCurrentFile[] = "zcurrent.dll";

bool LayOutSite(const std::string& folder, const std::string& url) {
  return CopyTree(TestProgramFolder() + "site\\", folder, url);
}

CZClientUnderTest::CZClientUnderTest(const char* hostProgram) : m_host(hostProgram) {}

bool CZClientUnderTest::Install() {
  const std::string tests = TestProgramFolder();
  const std::string oldComponent = tests + "zcom500.dll";
  CreateDirectoryA((m_app / "logs").c_str(), nullptr);
  CreateDirectoryA((m_app / "plugins").c_str(), nullptr);
  bool ok = CopyFileA(UpdaterExePath().c_str(), (m_app / "zupdater.exe").c_str(), FALSE) &&
            CopyFileA((tests + m_host).c_str(), (m_app / "murvo.exe").c_str(), FALSE) &&
            CopyFileA((tests + "zcom510.dll").c_str(), (m_app / kCurrentFile).c_str(), FALSE);
  for (const char* name : kUpdatedFiles)
    ok = ok && CopyFileA(oldComponent.c_str(), (m_app / name).c_str(), FALSE);
  return ok && SetRegDword(HKEY_CURRENT_USER, kMurvoKey, "LogUpdate", 0);
}

bool CZClientUnderTest::Run(const std::string& pageUrl, PromptAnswer answer, DWORD timeoutMs) {
  m_promptsSeen = 0;
  m_boxes.clear();
  m_picture.clear();
  std::string line = "\"" + (m_app / "zupdater.exe") + "\" ServerPage=" + pageUrl +
                     ";ApplicationName=" + (m_app / "murvo.exe");
  std::vector<char> environment = EnvironmentWithTemp(m_temp.path());
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, environment.data(),
                      m_app.path().c_str(), &startup, &process))
    return false;
  CloseHandle(process.hThread);
  const DWORD start = GetTickCount();
  bool ended = false;
  HWND answered = nullptr, closedBox = nullptr;
  // Until the updater and every program it handed over to (its relay, the
  // new updater) have ended: the prompt may come from the last of them.
  for (;;) {
    if (WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0) {
      if ((ended = !AnyProgramRunningIn(m_app.path()))) break;
      Sleep(kPollMs);
    }
    if (GetTickCount() - start >= timeoutMs) break;
    HWND prompt = FindWindowA(kDialogClass, kPromptTitle);
    // The prompt stays hidden until its text or page is ready.
    if (prompt != nullptr && prompt != answered && IsWindowVisible(prompt)) {
      answered = prompt;
      if (++m_promptsSeen == 1 && !m_pictureName.empty())
        m_picture = SaveWindowPicture(prompt, m_pictureName);
      if (!PressKeysOnDisplay(prompt, answer == PromptAnswer::kEnter ? "Return" : "Escape"))
        PostMessageA(prompt, WM_COMMAND, answer == PromptAnswer::kEnter ? IDOK : IDCANCEL, 0);
    }
    for (const char* title : kBoxTitles) {
      HWND box = FindWindowA(kDialogClass, title);
      if (box == nullptr || box == closedBox) continue;
      const bool picture = m_boxes.empty() && !m_boxPictureName.empty();
      if (picture && !IsWindowVisible(box)) continue;  // pictured once shown
      closedBox = box;
      std::string text;
      EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
      if (picture) {
        Sleep(300);  // the box paints itself once shown
        m_boxPicture = SaveWindowPicture(box, m_boxPictureName);
      }
      m_boxes += std::string(title) + ": " + text + "\n";
      PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
  }
  m_exitCode = ~0u;
  if (ended)
    GetExitCodeProcess(process.hProcess, &m_exitCode);
  else
    TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  // Whatever it started (the host client, an installer) ends too.
  WaitForProgramsIn(m_app.path(), 20000);
  WaitForProgramsIn(m_temp.path(), 20000);
  return ended;
}

std::string FileVersionText(const std::string& path) {
  DWORD high = 0, low = 0;
  if (!GetFileVersion(path.c_str(), &high, &low)) return "none";
  return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
         std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

std::vector<std::string> SiteRequests(const std::string& record, const std::string& prefix) {
  std::vector<std::string> lines;
  bool first = true;
  size_t start = 0;
  for (size_t end; (end = record.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = record.substr(start, end - start);
    if (first && !line.empty()) {
      const size_t space = line.find(' ');
      const size_t path = line.find(prefix, space);
      const size_t stop = line.find(' ', space + 1);
      if (space != std::string::npos && path == space + 1 && stop != std::string::npos) {
        const std::string relative = line.substr(path + prefix.size(), stop - path - prefix.size());
        // The browser control asks for the edition's update.html on its own.
        const std::string page = "update.html";
        const bool browsed =
            relative.size() >= page.size() &&
            relative.compare(relative.size() - page.size(), page.size(), page) == 0;
        if (!browsed) lines.push_back(line.substr(0, space) + " " + relative);
      }
    }
    first = line.empty();
  }
  return lines;
}

long long LastWriteEpoch(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  ULONGLONG time = (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                   data.ftLastWriteTime.dwLowDateTime;
  return static_cast<long long>(time / 10000000ULL) - 11644473600LL;
}

std::string CZClientUnderTest::ReleaseFolder() const {
  const std::string folder = ReleaseFolderIn(Temp());
  return folder.empty() ? Temp() : folder;
}
