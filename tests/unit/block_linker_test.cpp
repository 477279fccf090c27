// Block linking and jump resolution: the parent and target links of
// well-formed scripts, and the exact errors of misplaced statements.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/command_table.h"
#include "load_fixture.h"

namespace {

// Index of a line in the loaded list, or -1 for null.
int IndexOf(const LoadOutcome& got, const ScriptLine* line) {
  for (size_t i = 0; i < got.Lines.size(); ++i)
    if (got.Lines[i] == line) return static_cast<int>(i);
  return -1;
}

// "target/parent" of each line, by index (-1 for none).
std::vector<std::string> Links(const LoadOutcome& got) {
  std::vector<std::string> out;
  for (const ScriptLine* line : got.Lines)
    out.push_back(std::to_string(IndexOf(got, line->TargetLine)) + "/" +
                  std::to_string(IndexOf(got, line->EnclosingLine)));
  return out;
}

struct LinkCase {
  const char* Name;
  const char* Script;
  std::vector<std::string> Links;  // the implicit Exit lines included
};

TEST(BlockLinker, LinkTable) {
  const std::vector<LinkCase> cases = {
      // 0 if, 1 MsgBox (body), 2 MsgBox, 3-5 Exit
      {"if with one-line body", "if x\nMsgBox\nMsgBox", {"2/-1", "-1/0", "-1/-1", "-1/-1", "-1/-1", "-1/-1"}},
      // 0 if, 1 {, 2 MsgBox, 3 }, 4 else, 5 MsgBox, 6-8 Exit
      {"if block else",
       "if x {\nMsgBox\n} else\nMsgBox",
       {"4/-1", "4/0", "-1/1", "-1/1", "6/-1", "-1/4", "-1/-1", "-1/-1", "-1/-1"}},
      // 0 if, 1 Sleep, 2 else, 3 if, 4 Sleep, 5 else, 6 Sleep, 7.. Exit
      {"else if chain",
       "if a\nSleep 1\nelse if b\nSleep 2\nelse\nSleep 3",
       {"2/-1", "-1/0", "7/-1", "5/2", "-1/3", "7/2", "-1/5", "-1/-1", "-1/-1", "-1/-1"}},
      // 0 if, 1 Exit (body), 2 Exit, 3 Exit
      {"script ending with if", "if x", {"2/-1", "-1/0", "-1/-1", "-1/-1"}},
      // 0 Loop, 1 {, 2 Sleep, 3 }, 4 Until, 5.. Exit
      {"loop with until",
       "Loop {\nSleep 1\n}\nUntil x",
       {"4/-1", "4/0", "-1/1", "-1/1", "-1/-1", "-1/-1", "-1/-1", "-1/-1"}},
      // 0 try, 1 Sleep, 2 catch, 3 Sleep, 4 finally, 5 Sleep, 6.. Exit
      {"try catch finally",
       "try\nSleep 1\ncatch\nSleep 2\nfinally\nSleep 3",
       {"2/-1", "-1/0", "4/-1", "-1/2", "6/-1", "-1/4", "-1/-1", "-1/-1", "-1/-1"}},
      // 0 Loop, 1 {, 2 Loop, 3 {, 4 Break 2, 5 }, 6 }, 7.. Exit
      {"break 2 targets the outer loop",
       "Loop {\nLoop {\nBreak 2\n}\n}",
       {"7/-1", "7/0", "6/1", "6/2", "7/3", "-1/3", "-1/1", "-1/-1", "-1/-1", "-1/-1"}},
      // 0 Goto, 1 Sleep (lbl), 2.. Exit
      {"goto into enclosing level", "Goto lbl\nlbl:\nSleep 1", {"1/-1", "-1/-1", "-1/-1", "-1/-1", "-1/-1"}},
      {"loop inside finally may break",
       "Loop {\ntry\nSleep 1\nfinally\nLoop\nBreak\n}",
       {"8/-1", "8/0", "4/1", "-1/2", "7/1", "7/4", "-1/5", "-1/1", "-1/-1", "-1/-1", "-1/-1"}},
  };
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.Name);
    LoadOutcome got = LoadText(c.Script);
    ASSERT_EQ(got.Result, ResultCode::Ok) << Narrow(got.Error) << " at " << got.ErrorLine;
    EXPECT_EQ(Links(got), c.Links);
  }
}

TEST(BlockLinker, ErrorTable) {
  const std::vector<LoadErrorCase> cases = {
      {"Sleep 1\nelse", L"ELSE with no matching IF", 2},
      {"Until x", L"UNTIL with no matching LOOP", 1},
      {"While x\nSleep 1\nUntil x", L"UNTIL with no matching LOOP", 3},
      {"catch", L"CATCH with no matching TRY", 1},
      {"finally", L"FINALLY with no matching TRY or CATCH", 1},
      {"Break", L"Break/Continue must be enclosed by a Loop.", 1},
      {"if x\nContinue", L"Break/Continue must be enclosed by a Loop.", 2},
      {"Loop {\ntry\nSleep 1\nfinally\nBreak\n}", L"Jumps cannot exit a FINALLY block.", 5},
      {"try\nSleep 1\nfinally\nReturn", L"Jumps cannot exit a FINALLY block.", 4},
      {"{\nSleep 1", L"Missing \"}\"", 1},
      {"Sleep 1\n}", L"Unexpected \"}\"", 2},
      {"Goto nowhere", L"Target label does not exist.", 1},
      {"Gosub, nowhere", L"Target label does not exist.", 1},
      {"Goto lbl\nif x {\nlbl:\nSleep 1\n}", L"A Goto/Gosub must not jump into a block that doesn't enclose it.", 1},
      {"if x\nlbl:\nelse", L"A label must not point to an ELSE or UNTIL or CATCH.", 3},
      {"Loop {\nLoop {\nBreak 3\n}\n}", L"Parameter #1 invalid.", 3},
      {"Loop {\nBreak, %n%\n}", L"Parameter #1 invalid.", 2},
      {"Loop {\nBreak notalabel\n}", L"Parameter #1 invalid.", 2},
      {"SetTimer, nolabel, 100", L"Target label does not exist.", 1},
      {"lbl:\nSetTimer, lbl, Sometimes", L"Parameter #2 invalid.", 2},
      {"OnExit, nolabel", L"Target label does not exist.", 1},
      {"Hotkey, IfWinSometimes", L"Parameter #1 invalid.", 1},
      {"Hotkey, If,, x", L"Parameter #3 must be blank in this case.", 1},
  };
  ExpectLoadErrors(cases, LoadDepth::Full);
}

TEST(BlockLinker, LoopJumpTargets) {
  // 0 Loop (outer), 1 {, 2 Loop, 3 {, 4 Continue outer, 5 Break outer, 6 }, 7 }, 8 Until, 9.. Exit
  LoadOutcome got = LoadText("outer:\nLoop {\nLoop {\nContinue outer\nBreak outer\n}\n}\nUntil x");
  ASSERT_EQ(got.Result, ResultCode::Ok) << Narrow(got.Error);
  EXPECT_EQ(IndexOf(got, got.Lines[4]->TargetLine), 0);  // Continue: the outer loop line
  EXPECT_EQ(IndexOf(got, got.Lines[5]->TargetLine), 9);  // Break: past the loop's Until
  LoadOutcome innermost = LoadText("Loop {\nBreak 1\n}");
  ASSERT_EQ(innermost.Result, ResultCode::Ok);
  EXPECT_EQ(innermost.Lines[2]->TargetLine, nullptr);
}

}  // namespace
