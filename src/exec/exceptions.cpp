// Thrown values, exception objects and the unhandled-exception report.
#include "exec/exceptions.h"

#include <windows.h>

#include <string>

#include "base/script_context.h"
#include "base/script_line.h"
#include "exec/errors.h"
#include "exec/exec_state.h"
#include "values/numeric_text.h"
#include "values/thread_settings.h"
#include "values/values_state.h"

namespace {

// The text form of a field value (objects read as "").
std::wstring TextOfValue(const FieldValue& value) {
  switch (value.Type) {
    case FieldValue::Kind::Integer: return std::to_wstring(value.Integer);
    case FieldValue::Kind::Float: {
      wchar_t buffer[kFloatTextMaxChars];
      FloatToText(value.Float, buffer, kFloatTextMaxChars, Values().CurrentThread->FloatFormatText);
      return buffer;
    }
    case FieldValue::Kind::Object: return std::wstring();
    case FieldValue::Kind::Text: break;
  }
  return value.Text;
}

// The script line whose file and number match, or null.
const ScriptLine* FindLine(std::wstring_view file, int64_t number) {
  for (const ScriptLine* line = Script().FirstScriptLine; line; line = line->FollowingLine) {
    if (line->SourceLine != number) continue;
    std::wstring path = SourceFileOf(line);
    if (CompareStringOrdinal(path.c_str(), static_cast<int>(path.size()), file.data(), static_cast<int>(file.size()),
                             TRUE) == CSTR_EQUAL)
      return line;
  }
  return nullptr;
}

}  // namespace

void ReleaseFieldValue(FieldValue& value) {
  if (value.Type == FieldValue::Kind::Object && value.Object) value.Object->Release();
  value.Object = nullptr;
  value.Type = FieldValue::Kind::Text;
  value.Text.clear();
}

void SetThrownValue(FieldValue value) {
  DiscardThrownValue();
  Values().CurrentThread->Thrown = new FieldValue(std::move(value));
}

bool TakeThrownValue(FieldValue& value) {
  FieldValue* thrown = Values().CurrentThread->Thrown;
  if (!thrown) return false;
  value = std::move(*thrown);
  delete thrown;
  Values().CurrentThread->Thrown = nullptr;
  return true;
}

bool HasThrownValue() { return Values().CurrentThread->Thrown != nullptr; }

void DiscardThrownValue() {
  FieldValue* thrown = Values().CurrentThread->Thrown;
  if (!thrown) return;
  ReleaseFieldValue(*thrown);
  delete thrown;
  Values().CurrentThread->Thrown = nullptr;
}

Object* MakeExceptionObject(const ScriptLine* line, std::wstring_view message, std::wstring_view what,
                            std::wstring_view extra) {
  Object* exception = Object::Create();
  exception->SetField(L"What", FieldValue::OfText(what));
  exception->SetField(L"File", FieldValue::OfText(SourceFileOf(line)));
  exception->SetField(L"Line", FieldValue::OfInteger(line ? line->SourceLine : Script().CurrentLineNumber));
  exception->SetField(L"Message", FieldValue::OfText(message));
  if (!extra.empty()) exception->SetField(L"Extra", FieldValue::OfText(extra));
  return exception;
}

ResultCode RaiseException(const ScriptLine* line, std::wstring_view message, std::wstring_view what,
                          std::wstring_view extra) {
  std::wstring whatText(what);
  if (whatText.empty() && line) whatText.assign(CommandInfo(line->CommandIndex).Name);
  Object* exception = MakeExceptionObject(line, message, whatText, extra);
  FieldValue value;
  value.Type = FieldValue::Kind::Object;
  value.Object = exception;
  SetThrownValue(std::move(value));
  if (!(Values().CurrentThread->ExceptionMode & EXCEPTION_MODE_CATCH)) ShowUncaughtException(line);
  return ResultCode::Fail;
}

void ShowUncaughtException(const ScriptLine* line) {
  if (Exec().Hooks.CallErrorFunctions && Exec().Hooks.CallErrorFunctions()) return;
  const FieldValue* thrown = Values().CurrentThread->Thrown;
  if (!thrown) return;
  std::wstring message, detail;
  const ScriptLine* shown = line;
  if (thrown->Type == FieldValue::Kind::Object) {
    if (auto* object = dynamic_cast<Object*>(thrown->Object)) {
      if (const ObjectField* field = object->GetField(L"Message")) message = TextOfValue(PeekFieldValue(*field));
      if (const ObjectField* field = object->GetField(L"Extra")) detail = TextOfValue(PeekFieldValue(*field));
      const ObjectField* file = object->GetField(L"File");
      const ObjectField* number = object->GetField(L"Line");
      if (file && number) {
        std::wstring lineText = TextOfValue(PeekFieldValue(*number));
        if (const ScriptLine* found = FindLine(TextOfValue(PeekFieldValue(*file)), TextToInteger(lineText.c_str())))
          shown = found;
      }
    }
  } else {
    message = TextOfValue(*thrown);
  }
  if (detail.empty() && (message.empty() || IsNumeric(message.c_str()) != PURE_NOT_NUMERIC)) {
    detail = message;
    message = kUnhandledException;
  }
  std::wstring text = FormatLineErrorDialog(shown, message, ERROR_KIND_ERROR, detail, true, false);
  ShowErrorBox(text, MB_OK | MB_SETFOREGROUND);
}
