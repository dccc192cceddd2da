#include "ui/browser_host.h"

#include <urlmon.h>

#include <gtest/gtest.h>

#include "browser_double.h"
#include "reg_values.h"
#include "ui_fixture.h"
#include "x_display.h"

namespace {
constexpr UINT kNavigateCompleteMessage = WM_APP + 1;
constexpr UINT kDocumentCompleteMessage = WM_APP + 2;
constexpr UINT kWindowClosingMessage = WM_APP + 3;
constexpr UINT kNavigateErrorMessage = WM_APP + 4;
const char kHostSettingsKey[] = "SOFTWARE\\Zindo\\Murvo";
const char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kPage[] =
    "<html><head><title>Other title</title></head>"
    "<body><p>A new release is ready.</p><zupdater></body></html>";

class BrowserHostTest : public CZUiTest {
 protected:
  void SetUp() override {
    CZUiTest::SetUp();
    ASSERT_NE(nullptr, m_notify.get());
  }
  void TearDown() override {
    if (m_host.valid() && m_host->Window() != nullptr) DestroyWindow(m_host->Window());
    m_host.reset();
    CZUiTest::TearDown();
  }

  // A host in the notify window with every event bound to a message of it.
  void MakeHost(bool scrollBars = false) {
    m_host = CZBrowserHost::Create();
    ASSERT_TRUE(m_host.valid());
    m_host->SetScrollBars(scrollBars);
    RECT area = {0, 0, 400, 300};
    ASSERT_NE(nullptr, m_host->CreateHostWindow(m_notify.get(), area, WS_CHILD | WS_VISIBLE, 0, 0));
    ShowWindow(m_notify.get(), SW_SHOW);
    m_host->SetEventMessage(m_notify.get(), kNavigateCompleteMessage,
                            CZBrowserHost::kNavigateCompleteSlot);
    m_host->SetEventMessage(m_notify.get(), kDocumentCompleteMessage,
                            CZBrowserHost::kDocumentCompleteSlot);
    m_host->SetEventMessage(m_notify.get(), kWindowClosingMessage,
                            CZBrowserHost::kWindowClosingSlot);
    m_host->SetEventMessage(m_notify.get(), kNavigateErrorMessage,
                            CZBrowserHost::kNavigateErrorSlot);
  }
  void LoadPage(const std::string& name, const std::string& page) {
    Serve(name, page);
    m_host->NavigateTo(m_server.Url(Path(name)).c_str());
    ASSERT_TRUE(PumpUntil([&] { return m_notify.Count(kDocumentCompleteMessage) > 0; }, 10000));
  }
  std::string BodyHtml() {
    CZComPtr<IHTMLElement> body;
    m_host->GetBodyElement(body.put());
    if (!body.valid()) return "<none>";
    BSTR html = nullptr;
    if (FAILED(body->get_outerHTML(&html))) return "<failed>";
    char text[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, html, -1, text, sizeof(text), nullptr, nullptr);
    SysFreeString(html);
    return text;
  }

  CZNotifyWindow m_notify;
  CZComPtr<CZBrowserHost> m_host;
};
}  // namespace

TEST_F(BrowserHostTest, PageLoadInstallsTheUIHandlerAndPostsItsEventsWithZeroArguments) {
  MakeHost();
  ASSERT_TRUE(m_host->HasBrowser());
  EXPECT_FALSE(m_host->IsUIHandlerInstalled());
  LoadPage("page.html", kPage);

  EXPECT_EQ(1u, m_notify.Count(kNavigateCompleteMessage));
  EXPECT_EQ(1u, m_notify.Count(kDocumentCompleteMessage));
  EXPECT_EQ(0u, m_notify.Count(kNavigateErrorMessage));
  for (const auto& received : m_notify.Messages()) {
    EXPECT_EQ(0u, received.wParam);
    EXPECT_EQ(0, received.lParam);
  }
  EXPECT_TRUE(m_host->IsDocumentComplete());
  EXPECT_TRUE(m_host->IsUIHandlerInstalled());
  EXPECT_EQ("<body><p>A new release is ready.</p><zupdater></body>", BodyHtml());
  std::string record = DoubleRecord();
  EXPECT_NE(std::string::npos, record.find("activate\n"));
  EXPECT_NE(std::string::npos, record.find("navigate " + m_server.Url(Path("page.html")) + "\n"));
  // The host lets the page load and tells the browser its frame is not active.
  EXPECT_NE(std::string::npos, record.find("frame-active 0\nbefore-navigate " +
                                           m_server.Url(Path("page.html")) + " cancel=0\n"));
  EXPECT_NE(std::string::npos, record.find("ui-handler\n"));
}

struct HostInfoCase {
  const char* name;
  bool scrollBars;
  const char* flags;
  const char* scrollRecord;  // what a long page does to the scroll bar
};
// Names the case in test listings.
void PrintTo(const HostInfoCase& c, std::ostream* os) { *os << c.name; }

class HostInfoTest : public BrowserHostTest, public ::testing::WithParamInterface<HostInfoCase> {};

TEST_P(HostInfoTest, FlagsFollowTheScrollBarSetting) {
  const HostInfoCase& c = GetParam();
  MakeHost(c.scrollBars);
  std::string longPage = "<html><body><zupdater>";
  for (int i = 0; i < 200; ++i) longPage += "<p>Line " + std::to_string(i) + "</p>";
  LoadPage("long.html", longPage + "</body></html>");
  std::string record = DoubleRecord();
  char expected[128];
  snprintf(expected, sizeof(expected), "host-info size=%u flags=%s dblclk=0\n",
           static_cast<unsigned>(sizeof(DOCHOSTUIINFO)), c.flags);
  EXPECT_NE(std::string::npos, record.find(expected)) << record;
  EXPECT_NE(std::string::npos, record.find(c.scrollRecord)) << record;
  HWND page = BrowserDoubleWindow();
  ASSERT_NE(nullptr, page);
  EXPECT_EQ(c.scrollBars, (GetWindowLongPtrA(page, GWL_STYLE) & WS_VSCROLL) != 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, HostInfoTest,
                         ::testing::Values(
                             // As the dialog sets it: no border, a click activates, no scroll bars.
                             HostInfoCase{"ScrollBarsOff", false, "0x20c", "ui-handler"},
                             HostInfoCase{"ScrollBarsOn", true, "0x204", "scrollbars on\n"}),
                         [](const ::testing::TestParamInfo<HostInfoCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(BrowserHostTest, StructureSizeIsTwentyBytesInTheShippedBuild) {
  if (sizeof(void*) != 4) GTEST_SKIP() << "the 32-bit layout is checked by the i686 build";
  MakeHost();
  LoadPage("page.html", kPage);
  EXPECT_NE(std::string::npos, DoubleRecord().find("host-info size=20 flags=0x20c dblclk=0\n"));
}

TEST_F(BrowserHostTest, NavigationErrorIsPostedAndTheBrowsersErrorPageCancelled) {
  MakeHost();
  m_host->NavigateTo(m_server.Url(Path("missing.html")).c_str());
  ASSERT_TRUE(PumpUntil([&] { return m_notify.Count(kNavigateErrorMessage) > 0; }, 10000));
  PumpUntil([] { return false; }, 300);
  std::string record = DoubleRecord();
  EXPECT_NE(std::string::npos, record.find("navigate-error " + m_server.Url(Path("missing.html")) +
                                           " status=404 cancel=1\n"))
      << record;
  EXPECT_EQ(std::string::npos, record.find("error-page")) << record;
  EXPECT_EQ(1u, m_notify.Count(kNavigateErrorMessage));
  EXPECT_EQ(0u, m_notify.Count(kDocumentCompleteMessage));
  EXPECT_FALSE(m_host->IsDocumentComplete());
}

TEST_F(BrowserHostTest, TwoDocumentCompletesPostTwoMessagesAndTheFlagStaysSet) {
  BrowserDoubleSetDocumentCompletes(2);
  MakeHost();
  LoadPage("frames.html", kPage);
  PumpUntil([&] { return m_notify.Count(kDocumentCompleteMessage) >= 2; }, 2000);
  EXPECT_EQ(2u, m_notify.Count(kDocumentCompleteMessage));
  EXPECT_TRUE(m_host->IsDocumentComplete());
}

TEST_F(BrowserHostTest, NavigateToClearsTheFlagUntilTheNextPageCompletes) {
  MakeHost();
  LoadPage("first.html", kPage);
  ASSERT_TRUE(m_host->IsDocumentComplete());
  ASSERT_TRUE(m_server.SetRule(Path("slow.html"), "body=x&stall=1"));
  m_host->NavigateTo(m_server.Url(Path("slow.html")).c_str());
  EXPECT_FALSE(m_host->IsDocumentComplete());
  ASSERT_TRUE(PumpUntil([&] { return m_notify.Count(kDocumentCompleteMessage) == 2; }, 10000));
  EXPECT_TRUE(m_host->IsDocumentComplete());
}

TEST_F(BrowserHostTest, EventsWithoutABoundMessageAreHandledButNotPosted) {
  m_host = CZBrowserHost::Create();
  ASSERT_TRUE(m_host.valid());
  RECT area = {0, 0, 300, 200};
  ASSERT_NE(nullptr, m_host->CreateHostWindow(m_notify.get(), area, WS_CHILD, 0, 0));
  // An event number the host does not know is ignored.
  m_host->SetEventMessage(m_notify.get(), kDocumentCompleteMessage, 104);
  Serve("page.html", kPage);
  m_host->NavigateTo(m_server.Url(Path("page.html")).c_str());
  ASSERT_TRUE(PumpUntil([&] { return m_host->IsDocumentComplete(); }, 10000));
  EXPECT_TRUE(m_notify.Messages().empty());
  EXPECT_TRUE(BrowserDoubleFireWindowClosing());
}

TEST_F(BrowserHostTest, StoppedNavigationRaisesNothingMore) {
  MakeHost();
  ASSERT_TRUE(m_server.SetRule(Path("slow.html"), "body=<body><zupdater></body>&stall=1"));
  m_host->NavigateTo(m_server.Url(Path("slow.html")).c_str());
  m_host->StopNavigation();
  PumpUntil([] { return false; }, 2500);
  EXPECT_NE(std::string::npos, DoubleRecord().find("stop\n"));
  EXPECT_EQ(0u, m_notify.Count(kNavigateCompleteMessage));
  EXPECT_EQ(0u, m_notify.Count(kDocumentCompleteMessage));
  EXPECT_FALSE(m_host->IsDocumentComplete());
}

struct KeyCase {
  const char* name;
  WORD key;
  bool control;
  bool swallowed;
};
// Names the case in test listings.
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class HostKeyTest : public BrowserHostTest, public ::testing::WithParamInterface<KeyCase> {};

// The key goes to the page's window as the keyboard would deliver it; the
// double asks the host's handler first.
TEST_P(HostKeyTest, RefreshOpenPrintAndNewWindowKeysNeverReachThePage) {
  const KeyCase& c = GetParam();
  MakeHost();
  LoadPage("page.html", kPage);
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = c.control ? 0x80 : 0;
  SetKeyboardState(keys);
  SendMessageA(BrowserDoubleWindow(), WM_KEYDOWN, c.key, 1);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  char expected[64];
  snprintf(expected, sizeof(expected), "key 0x%02x ctrl=%d %s\n", c.key, c.control ? 1 : 0,
           c.swallowed ? "swallowed" : "page");
  EXPECT_NE(std::string::npos, DoubleRecord().find(expected)) << DoubleRecord();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostKeyTest,
    ::testing::Values(KeyCase{"F5", VK_F5, false, true}, KeyCase{"CtrlF5", VK_F5, true, true},
                      KeyCase{"CtrlO", 'O', true, true}, KeyCase{"CtrlP", 'P', true, true},
                      KeyCase{"CtrlN", 'N', true, true}, KeyCase{"PlainO", 'O', false, false},
                      KeyCase{"PlainN", 'N', false, false}, KeyCase{"CtrlA", 'A', true, false},
                      KeyCase{"F4", VK_F4, false, false}, KeyCase{"Down", VK_DOWN, false, false}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

// The same keys pressed on the X display.
TEST_F(BrowserHostTest, KeysPressedOnTheDisplayFollowTheSameRule) {
  MakeHost();
  LoadPage("page.html", kPage);
  HWND page = BrowserDoubleWindow();
  ASSERT_TRUE(PressKeysOnDisplay(m_notify.get(), "F5 ctrl+o ctrl+p ctrl+n a", page));
  std::string expected =
      "key 0x74 ctrl=0 swallowed\n"
      "key 0x11 ctrl=1 page\nkey 0x4f ctrl=1 swallowed\n"
      "key 0x11 ctrl=1 page\nkey 0x50 ctrl=1 swallowed\n"
      "key 0x11 ctrl=1 page\nkey 0x4e ctrl=1 swallowed\n"
      "key 0x41 ctrl=0 page\n";
  ASSERT_TRUE(PumpUntil([&] { return DoubleRecord().find("key 0x41") != std::string::npos; }, 5000))
      << DoubleRecord();
  EXPECT_NE(std::string::npos, DoubleRecord().find(expected)) << DoubleRecord();
}

TEST_F(BrowserHostTest, ContextMenuIsHandledByTheHost) {
  MakeHost();
  LoadPage("page.html", kPage);
  HWND page = BrowserDoubleWindow();
  SendMessageA(page, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(page), MAKELPARAM(20, 20));
  EXPECT_NE(std::string::npos, DoubleRecord().find("context-menu suppressed\n"));
}

struct BeforeNavigateCase {
  const char* name;
  bool restricted;
  bool closingBound;
  const char* url;  // "*" stands for the stored URL
  bool cancelled;
  bool closingPosted;
};
// Names the case in test listings.
void PrintTo(const BeforeNavigateCase& c, std::ostream* os) { *os << c.name; }

class BeforeNavigateTest : public BrowserHostTest,
                           public ::testing::WithParamInterface<BeforeNavigateCase> {};

TEST_P(BeforeNavigateTest, CancelsWhatTheHostDoesNotAllow) {
  const BeforeNavigateCase& c = GetParam();
  m_host = CZBrowserHost::Create();
  ASSERT_TRUE(m_host.valid());
  RECT area = {0, 0, 300, 200};
  ASSERT_NE(nullptr, m_host->CreateHostWindow(m_notify.get(), area, WS_CHILD, 0, 0));
  if (c.closingBound)
    m_host->SetEventMessage(m_notify.get(), kWindowClosingMessage,
                            CZBrowserHost::kWindowClosingSlot);
  m_host->SetRestricted(c.restricted);
  const std::string stored = "http://127.0.0.1/Folder/update.html";
  m_host->NavigateTo(stored.c_str());
  m_host->StopNavigation();
  std::string url = c.url;
  if (url[0] == '*') url = stored + url.substr(1);

  EXPECT_EQ(c.cancelled, BrowserDoubleFireBeforeNavigate(url.c_str()) != FALSE);
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(c.closingPosted ? 1u : 0u, m_notify.Count(kWindowClosingMessage));
  // Whatever the answer, the browser hears that its frame is not active.
  EXPECT_NE(std::string::npos, DoubleRecord().find("frame-active 0\nbefore-navigate " + url +
                                                   " cancel=" + std::to_string(c.cancelled) + "\n"))
      << DoubleRecord();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BeforeNavigateTest,
    ::testing::Values(
        BeforeNavigateCase{"RestrictedSameUrl", true, false, "*", false, false},
        BeforeNavigateCase{"RestrictedOtherCase", true, false,
                           "HTTP://127.0.0.1/folder/UPDATE.HTML", false, false},
        BeforeNavigateCase{"RestrictedOneMore", true, false, "*/", false, false},
        BeforeNavigateCase{"RestrictedTwoMore", true, false, "*/x", true, false},
        BeforeNavigateCase{"RestrictedOther", true, false, "http://127.0.0.1/other.html", true,
                           false},
        BeforeNavigateCase{"RestrictedShorter", true, false, "http://127.0.0.1/Folder/", true,
                           false},
        BeforeNavigateCase{"FreeOther", false, true, "http://127.0.0.1/other.html", false, false},
        BeforeNavigateCase{"FreeBlankAnnounced", false, true, "about:blank", true, true},
        BeforeNavigateCase{"FreeBlankWithSuffix", false, true, "about:blank#top", true, true},
        BeforeNavigateCase{"FreeBlankUnbound", false, false, "about:blank", false, false},
        BeforeNavigateCase{"FreeOtherServer", false, true, "http://127.0.0.2/update.html", true,
                           false},
        BeforeNavigateCase{"FreeOtherPort", false, true, "http://127.0.0.1:81/Folder/", true,
                           false},
        BeforeNavigateCase{"FreeOtherScheme", false, true, "https://127.0.0.1/Folder/", true,
                           false},
        BeforeNavigateCase{"FreeLocalFile", false, true, "file:///C:/windows/notepad.exe", true,
                           false},
        BeforeNavigateCase{"FreeProtocolHandler", false, true, "mailto:someone@example.com",
                           true, false},
        BeforeNavigateCase{"FreeScript", false, true, "javascript:location='file:///C:/'", true,
                           false}),
    [](const ::testing::TestParamInfo<BeforeNavigateCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(BrowserHostTest, NavigationAwayFromThePagesServerIsCancelledAndLogged) {
  MakeHost();
  m_host->NavigateTo("http://127.0.0.1/Folder/update.html");
  m_host->StopNavigation();
  EXPECT_TRUE(BrowserDoubleFireBeforeNavigate("file:///C:/windows/win.ini"));
  EXPECT_FALSE(BrowserDoubleFireBeforeNavigate("http://127.0.0.1/Folder/more.html"));
  EXPECT_NE(std::string::npos,
            LogText().find("CZBrowserHost: Navigation to file:///C:/windows/win.ini cancelled\r\n"))
      << LogText();
  EXPECT_EQ(std::string::npos, LogText().find("more.html cancelled")) << LogText();
}

struct NewWindowCase {
  const char* name;
  int version;
};
void PrintTo(const NewWindowCase& c, std::ostream* os) { *os << c.name; }
class NewWindowTest : public BrowserHostTest,
                      public ::testing::WithParamInterface<NewWindowCase> {};

// Whatever the page asks for, a new window, even on its own server, is not
// opened, and the log says so.
TEST_P(NewWindowTest, IsCancelledAndLogged) {
  MakeHost();
  m_host->NavigateTo("http://127.0.0.1/Folder/update.html");
  m_host->StopNavigation();
  const std::string url = "http://127.0.0.1/Folder/popup.html";
  EXPECT_TRUE(BrowserDoubleFireNewWindow(GetParam().version, url.c_str()));
  EXPECT_NE(std::string::npos, DoubleRecord().find("new-window" +
                                                   std::to_string(GetParam().version) + " " +
                                                   url + " cancel=1\n"))
      << DoubleRecord();
  const std::string named = GetParam().version == 3 ? url : "(no address)";
  EXPECT_NE(std::string::npos,
            LogText().find("CZBrowserHost: New window for " + named + " cancelled\r\n"))
      << LogText();
}

INSTANTIATE_TEST_SUITE_P(Cases, NewWindowTest,
                         ::testing::Values(NewWindowCase{"NewWindow2", 2},
                                           NewWindowCase{"NewWindow3", 3}),
                         [](const ::testing::TestParamInfo<NewWindowCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(BrowserHostTest, FileDownloadsAreCancelledButThePageItselfLoads) {
  MakeHost();
  EXPECT_TRUE(BrowserDoubleFireFileDownload(FALSE));
  EXPECT_FALSE(BrowserDoubleFireFileDownload(TRUE));
  EXPECT_NE(std::string::npos, DoubleRecord().find("file-download active=0 cancel=1\n"
                                                   "file-download active=1 cancel=0\n"))
      << DoubleRecord();
  EXPECT_EQ(1u, CountOccurrences(LogText(), "CZBrowserHost: File download cancelled\r\n"))
      << LogText();
}

TEST_F(BrowserHostTest, ProtocolZoneAndLocalMachineLockdownsAreOnForTheProcess) {
  MakeHost();
  for (INTERNETFEATURELIST feature :
       {FEATURE_PROTOCOL_LOCKDOWN, FEATURE_ZONE_ELEVATION, FEATURE_LOCALMACHINE_LOCKDOWN})
    EXPECT_EQ(S_OK, CoInternetIsFeatureEnabled(feature, GET_FEATURE_FROM_PROCESS))
        << "feature " << feature;
}

TEST_F(BrowserHostTest, WindowClosingIsCancelledAndAnnounced) {
  MakeHost();
  EXPECT_TRUE(BrowserDoubleFireWindowClosing());
  PumpUntil([&] { return m_notify.Count(kWindowClosingMessage) > 0; }, 1000);
  EXPECT_EQ(1u, m_notify.Count(kWindowClosingMessage));
}

TEST_F(BrowserHostTest, DestroyingTheWindowClosesTheControlAndDisconnects) {
  MakeHost();
  LoadPage("page.html", kPage);
  DestroyWindow(m_host->Window());
  EXPECT_EQ(nullptr, m_host->Window());
  EXPECT_FALSE(m_host->HasBrowser());
  std::string record = DoubleRecord();
  EXPECT_NE(std::string::npos, record.find("close\n"));
  // The host no longer hears the control: nothing is cancelled or posted.
  EXPECT_FALSE(BrowserDoubleFireWindowClosing());
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(0u, m_notify.Count(kWindowClosingMessage));
  // Nothing is left to act on.
  CZComPtr<IHTMLElement> body;
  m_host->GetBodyElement(body.put());
  EXPECT_FALSE(body.valid());
}

TEST_F(BrowserHostTest, WithoutAControlNothingHappens) {
  BrowserDoubleSetCreateResult(REGDB_E_CLASSNOTREG);
  MakeHost();
  EXPECT_FALSE(m_host->HasBrowser());
  EXPECT_EQ(S_OK, m_host->NavigateTo(m_server.Url(Path("page.html")).c_str()));
  EXPECT_EQ(S_OK, m_host->StopNavigation());
  CZComPtr<IHTMLElement> body;
  m_host->GetBodyElement(body.put());
  EXPECT_FALSE(body.valid());
  EXPECT_EQ(nullptr, GetWindow(m_host->Window(), GW_CHILD));
  EXPECT_EQ(std::string::npos, DoubleRecord().find("create"));
}

TEST_F(BrowserHostTest, ResizingMovesTheControlOverTheClientArea) {
  MakeHost();
  SetWindowPos(m_host->Window(), nullptr, 0, 0, 250, 120, SWP_NOZORDER | SWP_NOMOVE);
  RECT client, control;
  GetClientRect(m_host->Window(), &client);
  GetClientRect(BrowserDoubleWindow(), &control);
  EXPECT_EQ(client.right, control.right);
  EXPECT_EQ(client.bottom, control.bottom);
  // The client edge takes its place around the control.
  EXPECT_NE(0, GetWindowLongPtrA(m_host->Window(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
}

class ProxyPushTest : public BrowserHostTest {
 protected:
  CZScopedRegTree m_hostSettings{HKEY_CURRENT_USER, kHostSettingsKey};
  CZSavedRegValue m_enable{HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable"};
  CZSavedRegValue m_server_{HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer"};
};

// While the host window exists the browser goes through the host client's
// proxy; afterwards the system's settings are what they were before.
TEST_F(ProxyPushTest, HostClientProxyIsPushedWhileTheWindowExists) {
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kHostSettingsKey, "Proxy Enabled", 1));
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kHostSettingsKey, "HTTP Proxy", "127.0.0.1"));
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kHostSettingsKey, "Proxy Port", m_server.ProxyPort()));
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable", 0));
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", "old:1"));

  MakeHost();
  EXPECT_EQ(CZBrowserHost::kProxyPushed, m_host->ProxyState());
  EXPECT_EQ("http=127.0.0.1:" + std::to_string(m_server.ProxyPort()),
            ReadRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer"));
  EXPECT_EQ(1u, ReadRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable"));
  LoadPage("page.html", kPage);
  EXPECT_NE(std::string::npos, m_server.ProxyRequests(m_prefix).find("page.html"));

  DestroyWindow(m_host->Window());
  EXPECT_EQ(CZBrowserHost::kProxyRestored, m_host->ProxyState());
  // The user's own setting, kept while disabled, is back as it was.
  EXPECT_EQ("old:1", ReadRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer"));
  EXPECT_EQ(0u, ReadRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable"));
}

TEST_F(ProxyPushTest, NoProxyOfTheHostClientLeavesTheSettingsAlone) {
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable", 0));
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", "kept:8080"));
  MakeHost();
  EXPECT_EQ(CZBrowserHost::kProxyNotPushed, m_host->ProxyState());
  DestroyWindow(m_host->Window());
  EXPECT_EQ(CZBrowserHost::kProxyNotPushed, m_host->ProxyState());
  EXPECT_EQ("kept:8080", ReadRegString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer"));
  EXPECT_EQ(0u, ReadRegDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable"));
}
