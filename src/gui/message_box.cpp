// The interpreter's own message boxes.
#include "gui/message_box.h"

#include "base/script_context.h"
#include "base/version.h"

std::wstring DefaultDialogTitle() {
  if (!Script().ScriptFileName.empty()) return Script().ScriptFileName;
  return std::wstring(PRODUCT_NAME) + L" v" + PRODUCT_VERSION;
}

int ShowMessageBox(std::wstring_view text, UINT type, std::wstring_view title) {
  std::wstring caption = title.empty() ? DefaultDialogTitle() : std::wstring(title);
  std::wstring body(text);
  return MessageBoxW(nullptr, body.c_str(), caption.c_str(), type);
}
