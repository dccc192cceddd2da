#include "ui/update_prompt.h"

#include <ole2.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "common/bounded_text.h"
#include "common/ui_helpers.h"
#include "common/update_log.h"
#include "net/download.h"
#include "net/http_session.h"
#include "resources/resource.h"
#include "ui/prompt_text.h"
#include "ui/update_browser.h"

namespace {
const char kPromptTextFile[] = "update.txt";
const char kPageFile[] = "update.html";
const char kDefaultPromptText[] = "New Update Available! Do you want to update?";
// update.txt is read whole up to this length and then cut to the text
// buffer; a server that announces more gets the default text.
constexpr DWORD kLargestPromptBody = 64 * 1024;

// The browser control needs OLE on the thread while the prompt is open.
class CZOleScope {
 public:
  CZOleScope() : m_initialised(SUCCEEDED(OleInitialize(nullptr))) {}
  CZOleScope(const CZOleScope&) = delete;
  CZOleScope& operator=(const CZOleScope&) = delete;
  ~CZOleScope() {
    if (m_initialised) OleUninitialize();
  }

 private:
  bool m_initialised;
};

// update.txt into text (size bytes, always zero-terminated, cut when longer).
// False when it could not be fetched.
bool DownloadPromptText(CZHttpSession& net, const char* packageBaseUrl, char* text, size_t size) {
  char url[kPathSize] = {};
  if (!net.GetUrlPath(packageBaseUrl, url, sizeof(url))) return false;
  AppendBounded(url, kPromptTextFile);
  DWORD length = 0;
  HINTERNET request = net.OpenGetRequest(url, &length);
  if (request == nullptr) return false;

  // The whole URL only names the download in the log.
  memset(url, 0, sizeof(url));
  CopyBounded(url, packageBaseUrl);
  AppendBounded(url, kPromptTextFile);
  // One fixed buffer whatever the server announces: the text is cut to size
  // anyway, and a larger announcement is no prompt text.
  const DWORD room = kLargestPromptBody;
  std::unique_ptr<char[]> body(length <= room ? new (std::nothrow) char[room + 1]() : nullptr);
  if (!body) {
    net.CloseRequest(request);
    return false;
  }
  if (!net.DownloadRequest(request, url, body.get(), room, nullptr, length, room, false, 0))
    return false;
  size_t kept = std::min(strnlen(body.get(), room), size - 1);
  memcpy(text, body.get(), kept);
  text[kept] = '\0';
  return true;
}

// Runs the thread's messages through the dialog until it is answered, closed
// or gone, or a quit message arrives (taken off the queue for good).
void WaitForAnswer(const CZUpdateBrowser& dialog) {
  MSG message;
  while (!dialog.IsDone() && IsWindow(dialog.Window())) {
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    if (!IsDialogMessageA(dialog.Window(), &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}
}  // namespace

bool ShowUpdatePrompt(CZHttpSession& net, const char* packageBaseUrl) {
  if (packageBaseUrl == nullptr) packageBaseUrl = "";
  CZOleScope ole;

  std::unique_ptr<char[]> text(new (std::nothrow) char[kPromptTextSize]());
  bool downloaded = text && DownloadPromptText(net, packageBaseUrl, text.get(), kPromptTextSize);
  std::string prompt = kDefaultPromptText;
  if (downloaded && !TrimWhiteSpace(text.get()).empty()) prompt = text.get();
  text.reset();

  std::string title = LoadText(IDS_PROMPT_TITLE);
  char pageUrl[kPathSize] = {};
  CopyBounded(pageUrl, packageBaseUrl);
  AppendBounded(pageUrl, kPageFile);

  CZUpdateBrowser dialog(prompt.c_str(), title.c_str(), pageUrl);
  HWND window = dialog.Create();
  if (window == nullptr) {
    // Nobody could answer: the update is not taken.
    WriteLog("PromptForUpdate: Failed To Create Update Dialog\r\n");
  } else {
    // Shown by the page, or by the text when the page cannot be had.
    ShowWindow(window, SW_HIDE);
    WaitForAnswer(dialog);
  }
  bool yes = dialog.Answer() == CZUpdateBrowser::kAnswerYes;
  WriteLog(yes ? "User said YES to the upgrade\r\n" : "User said NO to the upgrade\r\n");
  if (dialog.Window() != nullptr && IsWindow(dialog.Window())) DestroyWindow(dialog.Window());
  return yes;
}
