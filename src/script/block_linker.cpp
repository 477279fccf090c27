// Linking blocks and resolving jumps.
#include "script/block_linker.h"

#include <windows.h>

#include <string>

#include "base/error_sink.h"
#include "base/script_line.h"
#include "script/messages.h"
#include "script/script_lines.h"
#include "script/script_state.h"
#include "values/numeric_text.h"
#include "values/values_state.h"
#include "values/variable.h"

namespace {

enum class LinkMode { WholeScript, UntilBlockEnd, OneStatement };

// The jump context: 0 outside any loop, kJumpContextFinally inside a
// Finally within a loop, otherwise the innermost loop line.
using JumpContext = intptr_t;

// Returned by LinkBlocks in place of a line when the whole script is done;
// jump links of the last statements point at it.
ScriptLine* EndOfScript() { return &Loader().EndOfScript; }

bool IsIfForm(ActionType action) { return IsIf(action); }

// Reports a linking error at a line; LinkBlocks then returns null.
ScriptLine* LinkError(const ScriptLine* line, const wchar_t* message) {
  // Reported once here; this path answers through its own return value.
  static_cast<void>(ReportLineError(line, message));
  return nullptr;
}

ScriptLine* LinkBlocks(ScriptLine* line, LinkMode mode, ScriptLine* parent, JumpContext context);

// Links a control statement, its body and any Else/Catch/Finally/Until that
// belongs to it; returns the line after all of them.
ScriptLine* LinkControlStatement(ScriptLine* line, ScriptLine* parent, JumpContext context) {
  JumpContext bodyContext = line->Extra ? reinterpret_cast<JumpContext>(line) : context;
  ScriptLine* next = LinkBlocks(line->FollowingLine, LinkMode::OneStatement, line, bodyContext);
  if (!next) return nullptr;
  line->TargetLine = next;
  ScriptLine* statement = line;
  for (;;) {
    ActionType was = statement->CommandIndex;
    ActionType now = next->CommandIndex;
    bool joins = (now == ACT_ELSE && IsIfForm(was)) || (now == ACT_CATCH && was == ACT_TRY) ||
                 (now == ACT_FINALLY && (was == ACT_TRY || was == ACT_CATCH));
    if (!joins) break;
    next->EnclosingLine = parent;
    JumpContext partContext = now == ACT_FINALLY ? (context ? kJumpContextFinally : 0) : context;
    ScriptLine* after = LinkBlocks(next->FollowingLine, LinkMode::OneStatement, next, partContext);
    if (!after) return nullptr;
    next->TargetLine = after;
    statement = next;
    next = after;
  }
  ActionType head = line->CommandIndex;
  if (next->CommandIndex == ACT_UNTIL && (head == ACT_LOOP || head == ACT_FOR)) {
    next->EnclosingLine = parent;
    next = next->FollowingLine;
    if (!next) next = EndOfScript();
  }
  return next;
}

// Links lines from `line` on: the whole list, up to the "}" that closes the
// block `parent` opened, or exactly one statement. Returns the line after
// what was linked, or null after reporting an error.
ScriptLine* LinkBlocks(ScriptLine* line, LinkMode mode, ScriptLine* parent, JumpContext context) {
  while (line && line != EndOfScript()) {
    line->EnclosingLine = parent;
    ActionType action = line->CommandIndex;
    ScriptLine* next;
    if (IsControlStatement(action)) {
      next = LinkControlStatement(line, parent, context);
      if (!next) return nullptr;
    } else {
      switch (action) {
        case ACT_ELSE: return LinkError(line, parse_msg::ElseWithoutIf);
        case ACT_UNTIL: return LinkError(line, parse_msg::UntilWithoutLoop);
        case ACT_CATCH: return LinkError(line, parse_msg::CatchWithoutTry);
        case ACT_FINALLY: return LinkError(line, parse_msg::FinallyWithoutTry);
        case ACT_BREAK:
        case ACT_CONTINUE:
          if (context == 0) return LinkError(line, parse_msg::BreakOutsideLoop);
          if (context == kJumpContextFinally) return LinkError(line, parse_msg::JumpOutOfFinally);
          break;
        case ACT_BLOCK_BEGIN: {
          bool functionBody = line->Extra == kFunctionBodyMark;
          if (functionBody && parent && parent->CommandIndex != ACT_BLOCK_BEGIN)
            return LinkError(line, parse_msg::UnexpectedFunction);
          next = LinkBlocks(line->FollowingLine, LinkMode::UntilBlockEnd, line, functionBody ? 0 : context);
          if (!next) return nullptr;
          line->TargetLine = next;
          if (mode == LinkMode::OneStatement) return next;
          line = next;
          continue;
        }
        case ACT_BLOCK_END:
          if (mode == LinkMode::UntilBlockEnd) return line->FollowingLine ? line->FollowingLine : EndOfScript();
          return LinkError(line, parse_msg::UnexpectedCloseBrace);
        default: break;
      }
      next = line->FollowingLine ? line->FollowingLine : EndOfScript();
    }
    if (mode == LinkMode::OneStatement) return next;
    line = next;
  }
  if (mode == LinkMode::UntilBlockEnd) return LinkError(parent, parse_msg::MissingCloseBrace);
  return EndOfScript();
}

// The fixed text of an argument, or false when it is computed at run time.
bool FixedArgText(const ScriptLine& line, int index, std::wstring& text) {
  if (index >= line.ArgTotal) {
    text.clear();
    return true;
  }
  const ArgRecord& arg = line.ArgList[index];
  if (arg.ExprFlag || arg.RefList) return false;
  text.assign(arg.Content, arg.ContentLength);
  return true;
}

// True when `ancestor` is `line` or one of its enclosing lines.
bool Encloses(const ScriptLine* ancestor, const ScriptLine* line) {
  for (const ScriptLine* at = line; at; at = at->EnclosingLine)
    if (at == ancestor) return true;
  return false;
}

// True when a Finally lies on the way up from `line` to (not including) `stop`.
bool CrossesFinally(const ScriptLine* line, const ScriptLine* stop) {
  for (const ScriptLine* at = line->EnclosingLine; at && at != stop; at = at->EnclosingLine)
    if (at->CommandIndex == ACT_FINALLY) return true;
  return false;
}

// Parses "N", " -0x2 " and the like; false for anything else.
bool ParseFixedInteger(const std::wstring& text, int64_t& value) {
  if (IsNumeric(text.c_str(), true, false, false) != PURE_INTEGER) return false;
  value = TextToInteger(text.c_str());
  return true;
}

// Goto and Gosub with a fixed label.
ResultCode ResolveGoto(ScriptLine& line) {
  std::wstring name;
  if (line.ArgTotal == 0 || !FixedArgText(line, 0, name)) return ResultCode::Ok;
  Label* label = FindLabel(name);
  if (!label) return ReportLineError(&line, parse_msg::TargetLabelMissing, ERROR_KIND_ERROR, name);
  const ScriptLine* labelParent = label->MarkedLine ? label->MarkedLine->EnclosingLine : nullptr;
  if (labelParent && !Encloses(labelParent, &line)) return ReportLineError(&line, parse_msg::JumpIntoBlock);
  // Seam: jumps out of a function body are checked once functions exist.
  if (line.CommandIndex == ACT_GOTO && CrossesFinally(&line, labelParent))
    return ReportLineError(&line, parse_msg::JumpOutOfFinally);
  line.TargetLabel = label;
  line.TargetLine = label->MarkedLine;
  return ResultCode::Ok;
}

// Break and Continue with a loop number or a loop's label.
ResultCode ResolveLoopJump(ScriptLine& line) {
  std::wstring text;
  if (line.ArgTotal == 0) return ResultCode::Ok;
  if (!FixedArgText(line, 0, text)) return ReportLineError(&line, parse_msg::Param1Invalid);
  if (text.empty()) return ResultCode::Ok;
  ScriptLine* innermost = nullptr;
  ScriptLine* target = nullptr;
  int64_t wanted = 0;
  bool byNumber = ParseFixedInteger(text, wanted);
  Label* label = byNumber ? nullptr : FindLabel(text);
  int depth = 0;
  for (ScriptLine* at = line.EnclosingLine; at; at = at->EnclosingLine) {
    if (!IsLoop(at->CommandIndex)) continue;
    ++depth;
    if (!innermost) innermost = at;
    if ((byNumber && depth == wanted) || (label && label->MarkedLine == at)) {
      target = at;
      break;
    }
  }
  if (!target) return ReportLineError(&line, parse_msg::Param1Invalid, ERROR_KIND_ERROR, text);
  if (CrossesFinally(&line, target)) return ReportLineError(&line, parse_msg::JumpOutOfFinally);
  if (target == innermost) return ResultCode::Ok;
  if (line.CommandIndex == ACT_CONTINUE) {
    line.TargetLine = target;
  } else {
    ScriptLine* after = target->TargetLine;
    line.TargetLine = after && after->CommandIndex == ACT_UNTIL ? after->FollowingLine : after;
  }
  return ResultCode::Ok;
}

// A fixed label parameter must name an existing label.
ResultCode RequireLabel(ScriptLine& line, int index, bool resolveCallee) {
  std::wstring name;
  if (!FixedArgText(line, index, name) || name.empty()) return ResultCode::Ok;
  // Seam: a function of that name (with no required parameter) will do as
  // well once functions exist.
  Label* label = FindLabel(name);
  if (!label) return ReportLineError(&line, parse_msg::TargetLabelMissing, ERROR_KIND_ERROR, name);
  if (resolveCallee) line.ResolvedCallee = label;
  return ResultCode::Ok;
}

// SetTimer: the label (or a function with no required parameter), and a
// fixed period or mode.
ResultCode ResolveSetTimer(ScriptLine& line) {
  std::wstring name;
  if (FixedArgText(line, 0, name) && !name.empty()) {
    if (Label* label = FindLabel(name)) {
      line.ResolvedCallee = label;
    } else if (const ExprFunc* func = Values().FindFunction ? Values().FindFunction(name) : nullptr;
               func && func->Owner && func->MinParams == 0) {
      line.ResolvedCallee = func->Owner;
      line.Extra = kCalleeIsFunction;
    } else {
      return ReportLineError(&line, parse_msg::TargetLabelMissing, ERROR_KIND_ERROR, name);
    }
  }
  std::wstring mode;
  if (line.ArgTotal < 2 || !FixedArgText(line, 1, mode) || mode.empty()) return ResultCode::Ok;
  int64_t period;
  if (EqualsNoCase(mode, L"On") || EqualsNoCase(mode, L"Off") || EqualsNoCase(mode, L"Delete") ||
      ParseFixedInteger(mode, period))
    return ResultCode::Ok;
  return ReportLineError(&line, parse_msg::Param2Invalid, ERROR_KIND_ERROR, mode);
}

// Hotkey: the "If" forms and a fixed label parameter.
ResultCode ResolveHotkey(ScriptLine& line) {
  std::wstring first, second, third;
  if (!FixedArgText(line, 0, first)) return ResultCode::Ok;
  if (first.size() >= 2 && EqualsNoCase(first.substr(0, 2), L"If")) {
    std::wstring after = first.substr(2);
    if (after.empty()) {
      if (line.ArgTotal > 2 && (!FixedArgText(line, 2, third) || !third.empty()))
        return ReportLineError(&line, parse_msg::Param3MustBeBlank);
      // Seam: a fixed second parameter must match an existing "#If"
      // expression once those exist.
      if (line.ArgTotal > 1 && FixedArgText(line, 1, second) && !second.empty())
        return ReportLineError(&line, parse_msg::Param2MustMatchIf, ERROR_KIND_ERROR, second);
      return ResultCode::Ok;
    }
    if (after.size() >= 3 && EqualsNoCase(after.substr(0, 3), L"Win")) {
      std::wstring kind = after.substr(3);
      if (EqualsNoCase(kind, L"Active") || EqualsNoCase(kind, L"Exist") || EqualsNoCase(kind, L"NotActive") ||
          EqualsNoCase(kind, L"NotExist"))
        return ResultCode::Ok;
      return ReportLineError(&line, parse_msg::Param1Invalid, ERROR_KIND_ERROR, first);
    }
  }
  if (line.ArgTotal < 2 || !FixedArgText(line, 1, second) || second.empty()) return ResultCode::Ok;
  static const wchar_t* const kActions[] = {L"On",          L"Off",        L"Toggle",        L"AltTab",
                                            L"ShiftAltTab", L"AltTabMenu", L"AltTabAndMenu", L"AltTabMenuDismiss"};
  for (const wchar_t* word : kActions)
    if (EqualsNoCase(second, word)) return ResultCode::Ok;
  return RequireLabel(line, 1, true);
}

}  // namespace

ResultCode LinkScriptBlocks(ScriptLine* first) {
  return LinkBlocks(first, LinkMode::WholeScript, nullptr, 0) ? ResultCode::Ok : ResultCode::Fail;
}

ResultCode ResolveJumps(ScriptLine* first) {
  for (ScriptLine* line = first; line; line = line->FollowingLine) {
    ResultCode result = ResultCode::Ok;
    switch (line->CommandIndex) {
      case ACT_GOTO:
      case ACT_GOSUB: result = ResolveGoto(*line); break;
      case ACT_BREAK:
      case ACT_CONTINUE: result = ResolveLoopJump(*line); break;
      case ACT_RETURN:
        if (CrossesFinally(line, nullptr)) result = ReportLineError(line, parse_msg::JumpOutOfFinally);
        break;
      case ACT_ONEXIT: result = RequireLabel(*line, 0, true); break;
      case ACT_SETTIMER: result = ResolveSetTimer(*line); break;
      case ACT_HOTKEY: result = ResolveHotkey(*line); break;
      case ACT_GROUPADD: result = RequireLabel(*line, 3, false); break;
      default: break;
    }
    if (result != ResultCode::Ok) return ResultCode::Fail;
  }
  return ResultCode::Ok;
}
