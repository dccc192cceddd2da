#include "ui/update_prompt.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "browser_double.h"
#include "common/process_state.h"
#include "resources/resource.h"
#include "ui/update_browser.h"
#include "ui_fixture.h"
#include "x_display.h"

namespace {
const char kDefaultText[] = "New Update Available! Do you want to update?";

class UpdatePromptTest : public CZUiTest {
 protected:
  // Runs the prompt with step acting on it; its answer.
  bool Prompt(CZPromptScript::Step step, DWORD timeoutMs = 20000) {
    CZPromptScript script(std::move(step), timeoutMs);
    bool answer = ShowUpdatePrompt(*m_net, BaseUrl().c_str());
    EXPECT_FALSE(script.TimedOut());
    return answer;
  }
  // Looks at the prompt once, then says no.
  CZPromptView LookAndRefuse() {
    CZPromptView view;
    EXPECT_FALSE(Prompt([&](HWND dialog) {
      view = ViewOf(dialog);
      ClickButton(dialog, IDCANCEL);
      return true;
    }));
    return view;
  }
};

// The text arrangement: text 8 pixels in, buttons in the bottom 40 pixels,
// their bottoms 8 pixels above the client's, "&No Thanks" at the right.
void ExpectTextArrangement(const CZPromptView& view) {
  const LONG w = view.client.cx, h = view.client.cy;
  EXPECT_TRUE(view.visible);
  EXPECT_TRUE(view.textShown);
  EXPECT_FALSE(view.pageShown);
  EXPECT_EQ(8, view.textRect.left);
  EXPECT_EQ(8, view.textRect.top);
  EXPECT_EQ(w - 8, view.textRect.right);
  EXPECT_EQ(h - 40, view.textRect.bottom);
  EXPECT_EQ(h - 8, view.noRect.bottom);
  EXPECT_EQ(w - 8, view.noRect.right);
  EXPECT_EQ(h - 8, view.yesRect.bottom);
  EXPECT_EQ(view.noRect.left - 8, view.yesRect.right);
}

LONG Width(const RECT& rect) { return rect.right - rect.left; }
}  // namespace

struct TextCase {
  const char* name;
  const char* rule;  // for update.txt; empty: serve body
  std::string body;
  std::string shown;
  int width;  // 0: the default 300; -1: the minimum width
  int height;
};
// Names the case in test listings.
void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class PromptTextTest : public UpdatePromptTest, public ::testing::WithParamInterface<TextCase> {};

// No update.html is served: the page fails and the text shows at once.
TEST_P(PromptTextTest, ShowsTheServersTextOrTheDefault) {
  const TextCase& c = GetParam();
  if (c.rule[0] != '\0')
    ASSERT_TRUE(m_server.SetRule(Path("update.txt"), c.rule));
  else
    Serve("update.txt", c.body);
  CZPromptView view = LookAndRefuse();

  EXPECT_EQ(c.shown, view.text);
  EXPECT_EQ("Update Available", view.title);
  ExpectTextArrangement(view);
  // Never narrower than the two buttons and their margins.
  LONG minimum = Width(view.yesRect) + Width(view.noRect) + 24;
  LONG width = c.width == 0 ? 300 : c.width < 0 ? minimum : c.width;
  EXPECT_EQ(std::max(width, minimum), view.client.cx);
  EXPECT_EQ(c.height == 0 ? 150 : c.height, view.client.cy);
  // The page was still asked for.
  EXPECT_NE(std::string::npos, DoubleRecord().find("navigate " + BaseUrl() + "update.html\n"));
  std::string log = LogText();
  EXPECT_NE(std::string::npos, log.find("CZUpdateBrowser: Url = " + BaseUrl() + "update.html\r\n"));
  EXPECT_NE(std::string::npos, log.find("User said NO to the upgrade\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PromptTextTest,
    ::testing::Values(
        TextCase{"Missing", "status=404", "", kDefaultText, 0, 0},
        TextCase{"NoLength", "no_length=1&body=Hello", "", kDefaultText, 0, 0},
        TextCase{"Empty", "", "", kDefaultText, 0, 0},
        TextCase{"WhiteSpaceOnly", "", " \r\n\t \r\n", kDefaultText, 0, 0},
        // Kept exactly as it came; trimming only decides whether it is empty.
        TextCase{"KeptAsSent", "", "  Fixes & more\r\nfor you ", "  Fixes & more\r\nfor you ", 0,
                 0},
        TextCase{"SizeTag", "", "<width=400 height=300>\r\nVersion 5 is here.",
                 "Version 5 is here.", 400, 300},
        TextCase{"NarrowSizeTag", "", "<width=100 height=200>Narrow", "Narrow", -1, 200},
        TextCase{"ZeroSizeTag", "", "<width=0 height=0>Zero", "Zero", 0, 0},
        // Sizes from the server are cut before any window arithmetic.
        TextCase{"HugeSizeTag", "", "<width=2147483647 height=99999999999>Big", "Big", 4096, 4096},
        // Longer than the 2048-byte buffer: cut to its 2047 characters.
        TextCase{"LongerThanTheBuffer", "", std::string(5000, 'x'), std::string(2047, 'x'), 0, 0},
        // A server that announces more than a prompt text can be is not read.
        TextCase{"HugeAnnouncement", "size=70000", "", kDefaultText, 0, 0}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST_F(UpdatePromptTest, TextRequestGoesToThePackageFolderOnTheCurrentServer) {
  Serve("update.txt", "Hi");
  LookAndRefuse();
  std::string requests = m_server.Requests(m_prefix);
  EXPECT_NE(std::string::npos, requests.find("GET " + Path("update.txt") + " HTTP/1.0\r\n"));
  EXPECT_NE(std::string::npos,
            LogText().find(BaseUrl() + "update.txt downloaded successfully \r\n"));
}

struct AnswerCase {
  const char* name;
  const char* keys;  // pressed on the X display; empty: act
  void (*act)(HWND dialog);
  bool yes;
};
// Names the case in test listings.
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class PromptAnswerTest : public UpdatePromptTest,
                         public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(PromptAnswerTest, OnlyGetTheUpdateSaysYes) {
  const AnswerCase& c = GetParam();
  Serve("update.txt", "Take it?");
  bool acted = false;
  bool yes = Prompt([&](HWND dialog) {
    if (c.keys[0] != '\0')
      acted = PressKeysOnDisplay(dialog, c.keys);
    else
      c.act(dialog), acted = true;
    return true;
  });
  ASSERT_TRUE(acted);
  EXPECT_EQ(c.yes, yes);
  std::string log = LogText();
  EXPECT_NE(std::string::npos, log.find(c.yes ? "User said YES to the upgrade\r\n"
                                              : "User said NO to the upgrade\r\n"));
  EXPECT_NE(std::string::npos, log.find("CZUpdateBrowser: Destroying Browser Dialog\r\n"));
  EXPECT_EQ(nullptr, FindPromptDialog(false));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PromptAnswerTest,
    ::testing::Values(
        AnswerCase{"EnterKey", "Return", nullptr, true},
        AnswerCase{"EscapeKey", "Escape", nullptr, false},
        AnswerCase{"AltF4", "alt+F4", nullptr, false},
        AnswerCase{"GetTheUpdate", "", [](HWND d) { ClickButton(d, IDOK); }, true},
        AnswerCase{"NoThanks", "", [](HWND d) { ClickButton(d, IDCANCEL); }, false},
        AnswerCase{"CloseBox", "", [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); },
                   false},
        AnswerCase{"CloseRequest", "", [](HWND d) { PostMessageA(d, WM_CLOSE, 0, 0); }, false}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST_F(UpdatePromptTest, CloseBoxClickedOnTheDisplaySaysNo) {
  Serve("update.txt", "Take it?");
  bool clicked = false;
  EXPECT_FALSE(Prompt([&](HWND dialog) {
    RECT window;
    GetWindowRect(dialog, &window);
    // The close box sits at the caption's right end.
    int x = window.right - GetSystemMetrics(SM_CXFIXEDFRAME) - GetSystemMetrics(SM_CXSIZE) / 2;
    int y = window.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    clicked = RunUnixProgram(
        "/usr/bin/xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1",
        10000);
    return true;
  }));
  EXPECT_TRUE(clicked);
}

TEST_F(UpdatePromptTest, QuitMessageEndsThePromptWithNoAndIsConsumed) {
  Serve("update.txt", "Take it?");
  PostQuitMessage(7);
  EXPECT_FALSE(ShowUpdatePrompt(*m_net, BaseUrl().c_str()));
  MSG message;
  EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_NE(std::string::npos, LogText().find("User said NO to the upgrade\r\n"));
  EXPECT_EQ(nullptr, FindPromptDialog(false));
}

TEST_F(UpdatePromptTest, DialogThatCannotBeMadeIsANo) {
  Serve("update.txt", "Take it?");
  HINSTANCE saved = g_hInstance;
  // A module without the dialog's template.
  g_hInstance = GetModuleHandleA("kernel32.dll");
  bool yes = ShowUpdatePrompt(*m_net, BaseUrl().c_str());
  g_hInstance = saved;
  EXPECT_FALSE(yes);
  std::string log = LogText();
  size_t failed = log.find("PromptForUpdate: Failed To Create Update Dialog\r\n");
  EXPECT_NE(std::string::npos, failed);
  EXPECT_LT(failed, log.find("User said NO to the upgrade\r\n"));
}

// A host without a web browser control in it: no page can arrive, and the
// navigation timer is what shows the text (here sent at once in place of
// its 30 seconds).
TEST_F(UpdatePromptTest, HostWithoutABrowserControlLeavesTheTextToTheTimer) {
  BrowserDoubleSetCreateResult(REGDB_E_CLASSNOTREG);
  Serve("update.txt", "<width=420 height=260>Plain words");
  bool wasHidden = false;
  CZPromptView view;
  bool yes = false;
  {
    CZPromptScript script(
        [&](HWND dialog) {
          if (!IsWindowVisible(dialog)) {
            wasHidden = true;
            SendMessageA(dialog, WM_TIMER, CZUpdateBrowser::kNavigationTimer, 0);
            return false;
          }
          view = ViewOf(dialog);
          ClickButton(dialog, IDOK);
          return true;
        },
        20000, false);
    yes = ShowUpdatePrompt(*m_net, BaseUrl().c_str());
    EXPECT_FALSE(script.TimedOut());
  }
  EXPECT_TRUE(yes);
  EXPECT_TRUE(wasHidden);
  ExpectTextArrangement(view);
  EXPECT_EQ("Plain words", view.text);
  EXPECT_EQ(420, view.client.cx);
  EXPECT_EQ(260, view.client.cy);
  std::string log = LogText();
  EXPECT_EQ(std::string::npos, log.find("CZUpdateBrowser: Failed To Create Browser Control\r\n"));
  size_t navigating = log.find("CZUpdateBrowser: Navigating to ");
  size_t timedOut = log.find("CZUpdateBrowser: Browser Navigation Timed Out\r\n");
  EXPECT_NE(std::string::npos, navigating) << log;
  EXPECT_NE(std::string::npos, timedOut) << log;
  EXPECT_LT(navigating, timedOut);
}

// The dialog on its own, with no page to show at all.
TEST_F(UpdatePromptTest, EmptyPageUrlShowsTheTextAtOnce) {
  CZUpdateBrowser dialog("<width=350 height=200>Only text", "Update Available", "");
  EXPECT_FALSE(dialog.IsHtmlMode());
  HWND window = dialog.Create();
  ASSERT_NE(nullptr, window);
  ShowWindow(window, SW_HIDE);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(window) != FALSE; }, 5000));
  CZPromptView view = ViewOf(window);
  ExpectTextArrangement(view);
  EXPECT_EQ("Only text", view.text);
  EXPECT_EQ(350, view.client.cx);
  EXPECT_EQ(nullptr, dialog.Host());
  EXPECT_FALSE(KillTimer(window, CZUpdateBrowser::kNavigationTimer));
  std::string log = LogText();
  EXPECT_NE(std::string::npos,
            log.find("CZUpdateBrowser: Got width=350, height=200 from update.txt\r\n"));
  EXPECT_NE(std::string::npos, log.find("CZUpdateBrowser: Failed To Create Browser Control\r\n"));
  DestroyWindow(window);
  EXPECT_NE(std::string::npos, LogText().find("CZUpdateBrowser: Destroying Browser Dialog\r\n"));
}

TEST_F(UpdatePromptTest, ConstructionLogsTitleAndUrlAndKeepsTheAnswerOpen) {
  CZUpdateBrowser dialog("text", "My title", "http://127.0.0.1/x/update.html");
  EXPECT_TRUE(dialog.IsHtmlMode());
  EXPECT_EQ(CZUpdateBrowser::kAnswerNone, dialog.Answer());
  EXPECT_FALSE(dialog.IsDone());
  EXPECT_EQ(300, dialog.MinimumWidth());
  EXPECT_EQ("text", dialog.Text());
  std::string log = LogText();
  size_t constructing = log.find(" CZUpdateBrowser: Constructing Browser Dialog\r\n");
  EXPECT_NE(std::string::npos, constructing);
  EXPECT_LT(constructing, log.find(" CZUpdateBrowser: Title = My title\r\n"));
  EXPECT_NE(std::string::npos,
            log.find(" CZUpdateBrowser: Url = http://127.0.0.1/x/update.html\r\n"));
}
