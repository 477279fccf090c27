// Tests of window matching against windows this test makes: the title
// match modes, the qrv_ criterion words (including glued and malformed
// ones), WinText/ExcludeText, hidden windows, groups, and RegEx mode with
// and without an installed engine.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "automation/automation_state.h"
#include "automation/window_criteria.h"
#include "automation/window_search.h"
#include "objects/objects_state.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

constexpr wchar_t kPadClass[] = L"QrvTestPadClass";
constexpr wchar_t kNotesClass[] = L"QrvTestNotesClass";

// A regular-expression engine for the tests: std::wregex search.
bool FakeRegExMatches(std::wstring_view subject, std::wstring_view pattern, std::wstring* error) {
  try {
    return std::regex_search(std::wstring(subject), std::wregex(std::wstring(pattern)));
  } catch (const std::regex_error&) {
    if (error) *error = L"bad pattern";
    return false;
  }
}

// Three top-level windows with children: two visible, one hidden.
class WindowCriteriaTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterClassNamed(kPadClass);
    RegisterClassNamed(kNotesClass);
    pad = MakeWindow(kPadClass, L"Untitled - QrvTestPad", true);
    AddChild(pad, L"hello world");
    AddChild(pad, L"secret");
    notes = MakeWindow(kNotesClass, L"QrvTestPad Notes", true);
    AddChild(notes, L"hello there");
    hidden = MakeWindow(kPadClass, L"QrvTestHidden One", false);
  }
  static void TearDownTestSuite() {
    DestroyWindow(pad);
    DestroyWindow(notes);
    DestroyWindow(hidden);
  }
  void SetUp() override {
    saved = *Values().CurrentThread;
    savedRegEx = Objects().RegEx;
    Automation().RegExUnavailable = false;
  }
  void TearDown() override {
    *Values().CurrentThread = saved;
    Objects().RegEx = savedRegEx;
    Automation().Groups.clear();
  }

  static void RegisterClassNamed(const wchar_t* name) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
  }
  static HWND MakeWindow(const wchar_t* className, const wchar_t* title, bool visible) {
    HWND window = CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (visible) ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
  }
  static void AddChild(HWND parent, const wchar_t* text) {
    CreateWindowExW(0, L"Static", text, WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, parent, nullptr, GetModuleHandleW(nullptr),
                    nullptr);
  }

  // The window the strings find, as WinExist would.
  static HWND Find(uint8_t mode, std::wstring_view title, std::wstring_view text = {},
                   std::wstring_view excludeTitle = {}, std::wstring_view excludeText = {}) {
    Values().CurrentThread->TitleMatchMode = mode;
    return FindMatchingWindow({title, text, excludeTitle, excludeText}, false, false);
  }

  static std::wstring Hex(HWND window) {
    wchar_t buffer[32];
    swprintf(buffer, 32, L"0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
    return buffer;
  }
  static std::wstring OwnExeName() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full = path;
    return full.substr(full.find_last_of(L'\\') + 1);
  }

  static inline HWND pad = nullptr, notes = nullptr, hidden = nullptr;
  ThreadSettings saved;
  RegExHooks savedRegEx;
};

TEST_F(WindowCriteriaTest, TitleMatchModes) {
  struct Case {
    uint8_t Mode;
    const wchar_t* Title;
    const wchar_t* ExcludeTitle;
    HWND* Expected;  // null: no window
  };
  const Case cases[] = {
      {1, L"Untitled - QrvTest", L"", &pad},
      {1, L"QrvTestPad N", L"", &notes},
      {1, L"QrvTestPad Notes!", L"", nullptr},
      {2, L"TestPad", L"Notes", &pad},
      {2, L"Pad Not", L"", &notes},
      {2, L"testpad notes", L"", nullptr},  // case-sensitive
      {3, L"QrvTestPad Notes", L"", &notes},
      {3, L"QrvTestPad Note", L"", nullptr},
      {1, L"QrvTestHidden", L"", nullptr},  // hidden windows are not seen
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::wstring(c.Title));
    EXPECT_EQ(Find(c.Mode, c.Title, {}, c.ExcludeTitle), c.Expected ? *c.Expected : nullptr);
  }
}

TEST_F(WindowCriteriaTest, CriterionWords) {
  // The test program's name begins with the criterion prefix, which would
  // end a bare qrv_exe value at once; its full path holds it after a "\".
  wchar_t fullPath[MAX_PATH];
  GetModuleFileNameW(nullptr, fullPath, MAX_PATH);
  const std::wstring exe = fullPath;
  std::wstring exeUpper = exe;
  for (wchar_t& c : exeUpper) c = static_cast<wchar_t>(towupper(c));
  struct Case {
    std::wstring Title;
    HWND* Expected;
  };
  const Case cases[] = {
      {L"Untitled qrv_class QrvTestPadClass", &pad},
      {L"QrvTestPad qrv_class QrvTestNotesClass", &notes},
      {L"qrv_class QrvTestNotesClass", &notes},
      {L"qrv_class QrvTestPadClass qrv_exe " + exe, &pad},
      {L"QrvTestPad N qrv_exe " + exeUpper, &notes},  // the executable ignores case
      {L"QrvTestPad N qrv_exe other.exe", nullptr},
      {L"QrvTestPad N qrv_exe Z:\\other\\" + OwnExeName(), nullptr},
      {L"qrv_id " + Hex(notes), &notes},
      {L"qrv_id 0x7fffff01", nullptr},  // not a window
      {L"Untitled qrv_pid " + std::to_wstring(GetCurrentProcessId()), &pad},
      {L"Untitled qrv_pid 1", nullptr},
      {L"xqrv_class QrvTestNotesClass", &notes},  // the first word may be glued
      // A later glued word is part of the class value, which then matches nothing.
      {L"qrv_class QrvTestNotesClass xqrv_exe " + exe, nullptr},
      {L"qrv_group NoSuchGroup", nullptr},
      {L"QrvTestPad qrv_nonsense", nullptr},  // not a word: the whole text is the title
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Title);
    EXPECT_EQ(Find(1, c.Title), c.Expected ? *c.Expected : nullptr);
  }
}

TEST_F(WindowCriteriaTest, WindowText) {
  EXPECT_EQ(Find(1, L"", L"hello world"), pad);
  EXPECT_EQ(Find(1, L"", L"hello", L"", L"secret"), notes);  // the pad has a child with "secret"
  EXPECT_EQ(Find(1, L"QrvTestPad", L"hello", L"", L"there"), nullptr);
  EXPECT_EQ(Find(3, L"", L"lo wor"), pad);  // WinText always tests "contains"
}

TEST_F(WindowCriteriaTest, HiddenWindows) {
  Values().CurrentThread->DetectHiddenWindows = true;
  EXPECT_EQ(Find(1, L"QrvTestHidden"), hidden);
  Values().CurrentThread->DetectHiddenWindows = false;
  EXPECT_EQ(Find(1, L"QrvTestHidden"), nullptr);
  EXPECT_EQ(Find(1, L"qrv_id " + Hex(hidden)), nullptr);
}

TEST_F(WindowCriteriaTest, LastFoundWindow) {
  Values().CurrentThread->TitleMatchMode = 1;
  Values().CurrentThread->LastFoundWindow = nullptr;
  EXPECT_EQ(FindMatchingWindow({L"QrvTestPad N", {}, {}, {}}, false, true), notes);
  EXPECT_EQ(LastFoundWindow(), notes);
  EXPECT_EQ(FindMatchingWindow({}, false, false), notes);  // four empty strings: the last found window
  Values().CurrentThread->LastFoundWindow = hidden;        // hidden: not returned
  EXPECT_EQ(LastFoundWindow(), nullptr);
}

TEST_F(WindowCriteriaTest, Groups) {
  auto group = std::make_unique<WindowGroup>();
  group->Name = L"NotesGroup";
  group->Rules.push_back({L"QrvTestPad N", L"", L"", L""});
  Automation().Groups.push_back(std::move(group));
  EXPECT_EQ(Find(1, L"qrv_group notesgroup"), notes);  // names ignore case
  EXPECT_EQ(Find(1, L"Untitled qrv_group NotesGroup"), nullptr);
}

TEST_F(WindowCriteriaTest, RegExModeWithEngine) {
  Objects().RegEx.Matches = FakeRegExMatches;
  EXPECT_EQ(Find(MATCH_REGEX, L"^Untitled.*Pad$"), pad);
  EXPECT_EQ(Find(MATCH_REGEX, L"Notes$"), notes);
  EXPECT_EQ(Find(MATCH_REGEX, L"qrv_class ^QrvTestNotes"), notes);
  EXPECT_EQ(Find(MATCH_REGEX, L"([unclosed"), nullptr);  // a pattern that does not compile matches nothing
  EXPECT_FALSE(Automation().RegExUnavailable);
}

TEST_F(WindowCriteriaTest, RegExModeWithoutEngineIsRecorded) {
  Objects().RegEx.Matches = nullptr;
  EXPECT_EQ(Find(MATCH_REGEX, L"Notes$"), nullptr);
  EXPECT_TRUE(Automation().RegExUnavailable);
}

TEST_F(WindowCriteriaTest, ProcessImage) {
  EXPECT_EQ(ProcessImage(GetCurrentProcessId(), false), OwnExeName());
  wchar_t fullPath[MAX_PATH];
  GetModuleFileNameW(nullptr, fullPath, MAX_PATH);
  EXPECT_EQ(ProcessImage(GetCurrentProcessId(), true), std::wstring(fullPath));
  EXPECT_EQ(ProcessImage(0xFFFFFFF0u, false), L"");
}

}  // namespace
