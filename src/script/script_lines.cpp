// The line list and the label list.
#include "script/script_lines.h"

#include <windows.h>

#include "base/error_sink.h"
#include "base/load_pool.h"
#include "base/script_context.h"
#include "script/declaration_hooks.h"

namespace {

inline constexpr wchar_t kDuplicateLabel[] = L"Duplicate label.";
inline constexpr wchar_t kLabelOnElse[] = L"A label must not point to an ELSE or UNTIL or CATCH.";

// Links a new label at the end of the label list.
Label* AddLabel(std::wstring_view name, bool forHotkey) {
  ScriptContext& s = Script();
  Label* label = PoolNew<Label>();
  label->Name = PoolCopy(name);
  label->ForHotkey = forHotkey;
  label->PreviousLabel = s.LastLabel;
  if (s.LastLabel)
    s.LastLabel->NextLabel = label;
  else
    s.FirstLabel = label;
  s.LastLabel = label;
  return label;
}

}  // namespace

Label* FindLabel(std::wstring_view name) {
  for (Label* label = Script().FirstLabel; label; label = label->NextLabel) {
    if (!*label->Name) continue;  // the placeholder is never a jump target
    if (CompareStringOrdinal(label->Name, -1, name.data(), static_cast<int>(name.size()), TRUE) == CSTR_EQUAL)
      return label;
  }
  return nullptr;
}

void CreatePlaceholderLabel() {
  if (!Script().PlaceholderLabel) Script().PlaceholderLabel = AddLabel(L"", false);
}

ResultCode DefineLabel(std::wstring_view name, bool forHotkey) {
  if (!forHotkey && FindLabel(name)) return ReportLoadError(kDuplicateLabel, name);
  AddLabel(name, forHotkey);
  ++Script().LabelsAwaitingLine;
  return ResultCode::Ok;
}

ScriptLine* AppendScriptLine(ActionType action, ArgRecord* args, int argCount, bool noPreprocess) {
  ScriptContext& s = Script();
  ScriptLine* line = PoolNew<ScriptLine>();
  line->CommandIndex = action;
  line->ArgTotal = static_cast<uint8_t>(argCount);
  line->ArgList = args;
  line->SourceIndex = static_cast<uint16_t>(s.CurrentFileIndex);
  line->SourceLine = s.CurrentLineNumber;
  line->PreviousLine = s.LastScriptLine;
  if (s.LastScriptLine)
    s.LastScriptLine->FollowingLine = line;
  else
    s.FirstScriptLine = line;
  s.LastScriptLine = line;

  if (!noPreprocess && s.LabelsAwaitingLine > 0) {
    if (action == ACT_ELSE || action == ACT_UNTIL || action == ACT_CATCH) {
      // Reported once here; this path answers through its own return value.
      static_cast<void>(ReportLoadError(kLabelOnElse, CommandInfo(action).Name));
      return nullptr;
    }
    for (Label* label = s.LastLabel; label && s.LabelsAwaitingLine > 0; label = label->PreviousLabel) {
      if (label->MarkedLine || label == s.PlaceholderLabel) continue;
      label->MarkedLine = line;
      --s.LabelsAwaitingLine;
    }
  }
  NoteScriptLine(*line);
  return line;
}
