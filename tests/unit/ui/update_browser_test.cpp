// The prompt with a page, through the browser double.
#include "ui/update_browser.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "browser_double.h"
#include "resources/resource.h"
#include "ui/update_prompt.h"
#include "ui_fixture.h"
#include "x_display.h"

namespace {
const char kText[] = "A new version is ready.";
const char kPage[] =
    "<html><head><title>Something else</title></head><body>"
    "<h1>Zindo 5</h1><p>Faster, and with new faces.</p><zupdater></body></html>";

class UpdateBrowserTest : public CZUiTest {
 protected:
  void SetUp() override {
    CZUiTest::SetUp();
    Serve("update.txt", kText);
  }
  bool Prompt(CZPromptScript::Step step, DWORD timeoutMs = 20000, bool visibleOnly = true) {
    CZPromptScript script(std::move(step), timeoutMs, visibleOnly);
    bool answer = ShowUpdatePrompt(*m_net, BaseUrl().c_str());
    EXPECT_FALSE(script.TimedOut());
    return answer;
  }
  // Looks at the shown prompt once, then answers.
  CZPromptView LookAndAnswer(int button, BOOL* timerRunning = nullptr, DWORD timeoutMs = 20000) {
    CZPromptView view;
    Prompt(
        [&](HWND dialog) {
          view = ViewOf(dialog);
          m_templateArea = {0, 0, 186, 90};
          MapDialogRect(dialog, &m_templateArea);
          BOOL running = KillTimer(dialog, CZUpdateBrowser::kNavigationTimer);
          if (timerRunning != nullptr) *timerRunning = running;
          ClickButton(dialog, button);
          return true;
        },
        timeoutMs);
    return view;
  }
  // Where a line is in the log (npos when it is not).
  size_t LogLine(const std::string& line) { return LogText().find(line + "\r\n"); }

  // The client area of dialog template 107, in pixels.
  RECT m_templateArea = {};
};

void ExpectTextShown(const CZPromptView& view) {
  EXPECT_TRUE(view.visible);
  EXPECT_TRUE(view.textShown);
  EXPECT_FALSE(view.pageShown);
  EXPECT_EQ(kText, view.text);
}
}  // namespace

TEST_F(UpdateBrowserTest, PageWithMarkerIsShownAndTheTimerStops) {
  Serve("update.html", kPage);
  BOOL timerRunning = TRUE;
  CZPromptView view = LookAndAnswer(IDOK, &timerRunning);
  EXPECT_TRUE(view.visible);
  EXPECT_TRUE(view.pageShown);
  EXPECT_FALSE(view.textShown);
  EXPECT_FALSE(timerRunning);
  // The page's own title changes nothing.
  EXPECT_EQ("Update Available", view.title);
  // Without a size tag the page stays where it was made: over the template's
  // client area, under the buttons.
  EXPECT_EQ(0, view.pageRect.left);
  EXPECT_EQ(0, view.pageRect.top);
  EXPECT_EQ(m_templateArea.right, view.pageRect.right);
  EXPECT_EQ(m_templateArea.bottom, view.pageRect.bottom);
  // The start size: 300 x 150 unless the buttons need more width.
  LONG minimum = view.yesRect.right - view.yesRect.left + view.noRect.right - view.noRect.left + 24;
  EXPECT_EQ(std::max(300L, minimum), view.client.cx);
  EXPECT_EQ(150, view.client.cy);
  EXPECT_NE(std::string::npos,
            LogLine("CZUpdateBrowser: Navigating to " + BaseUrl() + "update.html"));
  EXPECT_NE(std::string::npos, LogLine("CZUpdateBrowser: HTML Document Loading Complete"));
  EXPECT_EQ(std::string::npos,
            LogLine("CZUpdateBrowser: Stopping Navigation And Displaying Text Dialog"));
  EXPECT_NE(std::string::npos, LogLine("User said YES to the upgrade"));
  // The host's click gave the page the focus; no stop reached the browser.
  std::string record = DoubleRecord();
  EXPECT_NE(std::string::npos, record.find("click\n"));
  EXPECT_EQ(std::string::npos, record.find("stop\n"));
}

TEST_F(UpdateBrowserTest, SizeTagOfThePageSizesTheDialog) {
  Serve("update.html", "<html><body><zupdater><WIDTH=500 HEIGHT=400><p>Big page</p></body></html>");
  CZPromptView view = LookAndAnswer(IDCANCEL);
  EXPECT_TRUE(view.pageShown);
  EXPECT_EQ(500, view.client.cx);
  EXPECT_EQ(400, view.client.cy);
  EXPECT_EQ(0, view.pageRect.left);
  EXPECT_EQ(0, view.pageRect.top);
  EXPECT_EQ(500, view.pageRect.right);
  EXPECT_EQ(360, view.pageRect.bottom);
  // Both buttons in the bottom 40 pixels, bottoms 8 pixels up.
  EXPECT_GE(view.yesRect.top, 360);
  EXPECT_GE(view.noRect.top, 360);
  EXPECT_EQ(392, view.yesRect.bottom);
  EXPECT_EQ(392, view.noRect.bottom);
  EXPECT_EQ(492, view.noRect.right);
  EXPECT_NE(std::string::npos,
            LogLine("CZUpdateBrowser: Got width=500, height=400 from update.html"));
}

TEST_F(UpdateBrowserTest, PageWithoutMarkerShowsTheTextAndStopsThePage) {
  Serve("update.html", "<html><body><p>Not ours</p></body></html>");
  BOOL timerRunning = FALSE;
  CZPromptView view = LookAndAnswer(IDCANCEL, &timerRunning);
  ExpectTextShown(view);
  // The fallback leaves the timer alone.
  EXPECT_TRUE(timerRunning);
  size_t rejected = LogLine("CZUpdateBrowser: Signature Checking Failed.");
  EXPECT_NE(std::string::npos, rejected);
  EXPECT_LT(rejected, LogLine("CZUpdateBrowser: Stopping Navigation And Displaying Text Dialog"));
  std::string record = DoubleRecord();
  EXPECT_LT(record.find("document-complete"), record.find("stop\n"));
}

// The body's outer HTML begins with the body tag, so a marker first in the
// body is not at offset 0.
TEST_F(UpdateBrowserTest, MarkerFirstInTheBodyCounts) {
  Serve("update.html", "<zupdater><html><body><zupdater>Hello</body></html>");
  CZPromptView view = LookAndAnswer(IDCANCEL);
  EXPECT_TRUE(view.pageShown);
  EXPECT_EQ(std::string::npos, LogLine("CZUpdateBrowser: Signature Checking Failed."));
}

TEST_F(UpdateBrowserTest, PageWithoutBodyShowsTheText) {
  Serve("update.html", "<zupdater>No body at all");
  CZPromptView view = LookAndAnswer(IDCANCEL);
  ExpectTextShown(view);
  size_t noBody = LogLine("CZUpdateBrowser: Failed To Get HTML Body.");
  EXPECT_NE(std::string::npos, noBody);
  EXPECT_LT(noBody, LogLine("CZUpdateBrowser: Stopping Navigation And Displaying Text Dialog"));
}

TEST_F(UpdateBrowserTest, NavigationErrorShowsTheTextAtOnce) {
  BOOL timerRunning = FALSE;
  CZPromptView view = LookAndAnswer(IDCANCEL, &timerRunning);
  ExpectTextShown(view);
  EXPECT_TRUE(timerRunning);
  size_t error = LogLine("CZUpdateBrowser: Navigation Error");
  EXPECT_NE(std::string::npos, error);
  EXPECT_LT(error, LogLine("CZUpdateBrowser: Stopping Navigation And Displaying Text Dialog"));
  EXPECT_EQ(std::string::npos, LogLine("CZUpdateBrowser: Browser Navigation Timed Out"));
  // The browser's own error page was cancelled.
  std::string record = DoubleRecord();
  EXPECT_NE(std::string::npos, record.find("status=404 cancel=1\n"));
  EXPECT_EQ(std::string::npos, record.find("error-page"));
}

// An unreadable page is left to the timer: nothing is shown yet.
TEST_F(UpdateBrowserTest, UnreadablePageWaitsForTheTimer) {
  Serve("update.html", kPage);
  BrowserDoubleSetOuterHtmlResult(E_ACCESSDENIED);
  bool stillHidden = false;
  BOOL timerRunning = FALSE;
  EXPECT_FALSE(Prompt(
      [&](HWND dialog) {
        if (LogLine("CZUpdateBrowser: HTML Document Loading Complete") == std::string::npos)
          return false;
        stillHidden = !IsWindowVisible(dialog);
        timerRunning = KillTimer(dialog, CZUpdateBrowser::kNavigationTimer);
        ClickButton(dialog, IDCANCEL);
        return true;
      },
      20000, false));
  EXPECT_TRUE(stillHidden);
  EXPECT_TRUE(timerRunning);
  EXPECT_EQ(std::string::npos,
            LogLine("CZUpdateBrowser: Stopping Navigation And Displaying Text Dialog"));
  EXPECT_EQ(std::string::npos, LogLine("CZUpdateBrowser: Signature Checking Failed."));
}

TEST_F(UpdateBrowserTest, ServerThatNeverAnswersTimesOutToTheText) {
  // The answer's head arrives, its body never does.
  Serve("update.html", kPage);
  ASSERT_TRUE(m_server.SetRule(Path("update.html"), "stall=50"));
  // Hidden for the 30 seconds of the navigation timer.
  CZPromptView view = LookAndAnswer(IDCANCEL, nullptr, 60000);
  ExpectTextShown(view);
  size_t timedOut = LogLine("CZUpdateBrowser: Browser Navigation Timed Out");
  EXPECT_NE(std::string::npos, timedOut);
  EXPECT_LT(timedOut, LogLine("CZUpdateBrowser: Stopping Navigation And Displaying Text Dialog"));
  EXPECT_NE(std::string::npos, DoubleRecord().find("stop\n"));
}

TEST_F(UpdateBrowserTest, LateTimeOutAfterAPassedPageChangesNothing) {
  Serve("update.html", kPage);
  int phase = 0;
  CZPromptView before, after;
  Prompt([&](HWND dialog) {
    if (phase++ == 0) {
      before = ViewOf(dialog);
      // A time-out that was already on its way.
      SendMessageA(dialog, WM_TIMER, CZUpdateBrowser::kNavigationTimer, 0);
      return false;
    }
    after = ViewOf(dialog);
    ClickButton(dialog, IDOK);
    return true;
  });
  EXPECT_TRUE(before.pageShown);
  EXPECT_TRUE(after.pageShown);
  EXPECT_FALSE(after.textShown);
  EXPECT_NE(std::string::npos, LogLine("CZUpdateBrowser: Browser Navigation Timed Out"));
  EXPECT_EQ(std::string::npos,
            LogLine("CZUpdateBrowser: Stopping Navigation And Displaying Text Dialog"));
  EXPECT_EQ(std::string::npos, DoubleRecord().find("stop\n"));
}

// The fallback does not stop the timer: a later time-out repeats it.
TEST_F(UpdateBrowserTest, LateTimeOutAfterTheFallbackRepeatsIt) {
  int phase = 0;
  Prompt([&](HWND dialog) {
    if (phase++ == 0) {
      SendMessageA(dialog, WM_TIMER, CZUpdateBrowser::kNavigationTimer, 0);
      return false;
    }
    ClickButton(dialog, IDCANCEL);
    return true;
  });
  const std::string line = "CZUpdateBrowser: Stopping Navigation And Displaying Text Dialog\r\n";
  std::string log = LogText();
  EXPECT_EQ(2u, CountOccurrences(log, line));
  EXPECT_LT(log.find("CZUpdateBrowser: Browser Navigation Timed Out"), log.rfind(line));
}

TEST_F(UpdateBrowserTest, PageWithAFrameCompletesTwice) {
  BrowserDoubleSetDocumentCompletes(2);
  Serve("update.html", kPage);
  int ticks = 0;
  CZPromptView view;
  Prompt([&](HWND dialog) {
    // Both messages are in the queue before the first is handled.
    if (++ticks < 4) return false;
    view = ViewOf(dialog);
    ClickButton(dialog, IDCANCEL);
    return true;
  });
  EXPECT_TRUE(view.pageShown);
  EXPECT_EQ(2u, CountOccurrences(LogText(), "CZUpdateBrowser: HTML Document Loading Complete\r\n"));
}

TEST_F(UpdateBrowserTest, EnterOnThePageSaysYes) {
  Serve("update.html", kPage);
  bool pressed = false;
  EXPECT_TRUE(Prompt([&](HWND dialog) {
    pressed = PressKeysOnDisplay(dialog, "Return");
    return true;
  }));
  EXPECT_TRUE(pressed);
}

TEST_F(UpdateBrowserTest, DestroyingTheDialogClosesTheBrowser) {
  Serve("update.html", kPage);
  LookAndAnswer(IDCANCEL);
  std::string record = DoubleRecord();
  EXPECT_NE(std::string::npos, record.find("close\n"));
  EXPECT_NE(std::string::npos, LogLine("CZUpdateBrowser: Destroying Browser Dialog"));
}

// Pictures of the prompt as a person sees it, for the README.
TEST_F(UpdateBrowserTest, PicturesOfThePrompt) {
  Serve("update.html",
        "<html><body><zupdater><width=420 height=260><h1>Zindo 5 is here</h1>"
        "<p>Voice rooms, a faster start and new emoticons.</p>"
        "<p>The update takes about a minute.</p></body></html>");
  std::string page;
  Prompt([&](HWND dialog) {
    page = SaveWindowPicture(dialog, "prompt_page");
    ClickButton(dialog, IDCANCEL);
    return true;
  });
  EXPECT_FALSE(page.empty());

  // The text picture: a page that cannot be had shows the text at once.
  ASSERT_TRUE(m_server.SetRule(Path("update.html"), "status=404"));
  Serve("update.txt",
        "<width=360 height=140>A new version of Zindo is available: voice rooms, a faster "
        "start and new emoticons.\r\n\r\nDo you want to update now?");
  std::string text;
  Prompt([&](HWND dialog) {
    text = SaveWindowPicture(dialog, "prompt_text");
    ClickButton(dialog, IDCANCEL);
    return true;
  });
  EXPECT_FALSE(text.empty());
}

class RealBrowserTest : public CZUiTest {
 protected:
  RealBrowserTest() : CZUiTest(false) {}
};

// This machine's control can be made but renders nothing: it reports an
// error soon or never completes. Either way the text ends up shown.
TEST_F(RealBrowserTest, SystemControlEndsWithTheText) {
  Serve("update.txt", kText);
  Serve("update.html", kPage);
  CZPromptView view;
  CZPromptScript script(
      [&](HWND dialog) {
        view = ViewOf(dialog);
        ClickButton(dialog, IDCANCEL);
        return true;
      },
      60000);
  EXPECT_FALSE(ShowUpdatePrompt(*m_net, BaseUrl().c_str()));
  EXPECT_FALSE(script.TimedOut());
  ExpectTextShown(view);
  std::string log = LogText();
  EXPECT_NE(std::string::npos, log.find("CZUpdateBrowser: Navigating to"));
  EXPECT_NE(std::string::npos,
            log.find("CZUpdateBrowser: Stopping Navigation And Displaying Text Dialog\r\n"));
  std::printf("system control: %s\n",
              log.find("Navigation Error") != std::string::npos ? "navigation error" : "time-out");
}
