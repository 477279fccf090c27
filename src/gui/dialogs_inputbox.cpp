// InputBox (see dialogs.h): a dialog built from an in-memory template, one
// slot per nesting level.
//
// Invariant: Gui().InputBoxes is the number of input boxes whose modal loop
// runs; slot n belongs to the n-th of them, so the dialog procedure finds
// its slot through the pointer it was created with.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "base/script_line.h"
#include "exec/errors.h"
#include "gui/dialogs.h"
#include "gui/gui_messages.h"
#include "gui/gui_window.h"
#include "gui/message_box.h"
#include "values/variable.h"

namespace {

enum : int {
  kArgOutput = 0,
  kArgTitle = 1,
  kArgPrompt = 2,
  kArgHide = 3,
  kArgWidth = 4,
  kArgHeight = 5,
  kArgX = 6,
  kArgY = 7,
  kArgTimeout = 9,
  kArgDefault = 10
};
// Control identifiers of the dialog.
constexpr WORD kIdEdit = 201;
constexpr WORD kIdPrompt = 204;
// The time-out timer's identifier is the slot's index plus this.
constexpr UINT_PTR kTimerBase = 10;
constexpr INT_PTR kTimedOut = -2;
constexpr int kGap = 5;
// The classes of dialog items as their atoms.
constexpr WORD kButtonAtom = 0x0080, kEditAtom = 0x0081, kStaticAtom = 0x0082;

// Appends the words of a template piece.
void Put(std::vector<WORD>& out, std::wstring_view text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}
void Align(std::vector<WORD>& out) {
  if (out.size() % 2) out.push_back(0);
}
// Appends a DWORD as two words.
void PutDword(std::vector<WORD>& out, DWORD value) {
  out.push_back(LOWORD(value));
  out.push_back(HIWORD(value));
}

// One dialog item.
void PutItem(std::vector<WORD>& out, DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom,
             std::wstring_view text) {
  Align(out);
  PutDword(out, style | WS_CHILD | WS_VISIBLE);
  PutDword(out, 0);
  for (short v : {x, y, cx, cy}) out.push_back(static_cast<WORD>(v));
  out.push_back(id);
  out.push_back(0xFFFF);
  out.push_back(atom);
  Put(out, text);
  out.push_back(0);  // no creation data
}

// The dialog template: a prompt, an edit field, OK and Cancel.
std::vector<WORD> InputBoxTemplate() {
  std::vector<WORD> out;
  PutDword(out, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_SETFONT | DS_SETFOREGROUND | DS_CENTER |
                    DS_MODALFRAME);
  PutDword(out, 0);
  out.push_back(4);
  for (short v : {short{0}, short{0}, short{210}, short{83}}) out.push_back(static_cast<WORD>(v));
  out.push_back(0);  // menu
  out.push_back(0);  // class
  Put(out, L"Dialog");
  out.push_back(10);
  Put(out, L"MS Shell Dlg");
  PutItem(out, WS_GROUP | SS_LEFT, 3, 2, 205, 48, kIdPrompt, kStaticAtom, L"Prompt");
  PutItem(out, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 2, 51, 207, 12, kIdEdit, kEditAtom, L"");
  PutItem(out, WS_TABSTOP | BS_DEFPUSHBUTTON, 51, 67, 31, 12, IDOK, kButtonAtom, L"OK");
  PutItem(out, WS_TABSTOP, 129, 67, 31, 12, IDCANCEL, kButtonAtom, L"Cancel");
  return out;
}

// Positions the controls for the client size.
void LayOut(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  const int wc = client.right, hc = client.bottom;
  auto sizeOf = [&](int id) {
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
  };
  const SIZE button = sizeOf(IDOK), edit = sizeOf(kIdEdit);
  const int buttonY = hc - button.cy - kGap;
  MoveWindow(GetDlgItem(dialog, IDOK), wc / 4 + (kGap - button.cx) / 2, buttonY, button.cx, button.cy, FALSE);
  MoveWindow(GetDlgItem(dialog, IDCANCEL), 3 * wc / 4 - (button.cx + kGap) / 2, buttonY, button.cx, button.cy, FALSE);
  const int editY = buttonY - kGap - edit.cy;
  MoveWindow(GetDlgItem(dialog, kIdEdit), kGap, editY, wc - 2 * kGap, edit.cy, FALSE);
  MoveWindow(GetDlgItem(dialog, kIdPrompt), kGap, kGap, wc - 2 * kGap, editY - 2 * kGap, FALSE);
  InvalidateRect(dialog, nullptr, TRUE);
}

// Stores the edit field's text in the slot and ends the dialog.
void Finish(HWND dialog, InputBoxSlot& slot, INT_PTR result) {
  HWND edit = GetDlgItem(dialog, kIdEdit);
  const int length = GetWindowTextLengthW(edit);
  slot.Result.assign(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(edit, slot.Result.data(), length + 1);
  slot.Result.resize(static_cast<size_t>(length));
  EndDialog(dialog, result);
}

// Sets up the dialog from its slot.
void Initialise(HWND dialog, InputBoxSlot& slot, size_t index) {
  slot.Dialog = dialog;
  SetWindowTextW(dialog, slot.Title.c_str());
  SetDlgItemTextW(dialog, kIdPrompt, slot.Prompt.c_str());
  if (slot.Password) SendDlgItemMessageW(dialog, kIdEdit, EM_SETPASSWORDCHAR, L'*', 0);
  RECT outer;
  GetWindowRect(dialog, &outer);
  int w = slot.Width != kCoordNotGiven ? slot.Width : outer.right - outer.left;
  int h = slot.Height != kCoordNotGiven ? slot.Height : outer.bottom - outer.top;
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = slot.X != kCoordNotGiven ? slot.X : work.left + (work.right - work.left - w) / 2;
  const int y = slot.Y != kCoordNotGiven ? slot.Y : work.top + (work.bottom - work.top - h) / 2;
  MoveWindow(dialog, x, y, w, h, FALSE);
  LayOut(dialog);
  SetDlgItemTextW(dialog, kIdEdit, slot.Default.c_str());
  SetForegroundWindow(dialog);
  if (slot.TimeoutMs) SetTimer(dialog, kTimerBase + index, slot.TimeoutMs, nullptr);
}

// The input box's dialog procedure.
INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto slotOf = [&]() -> InputBoxSlot* {
    for (auto& slot : Gui().InputSlots)
      if (slot.Dialog == dialog) return &slot;
    return nullptr;
  };
  switch (message) {
    case WM_INITDIALOG: {
      const auto index = static_cast<size_t>(lParam);
      Initialise(dialog, Gui().InputSlots[index], index);
      return TRUE;
    }
    case WM_SIZE: LayOut(dialog); return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        if (InputBoxSlot* slot = slotOf()) Finish(dialog, *slot, LOWORD(wParam));
        return TRUE;
      }
      break;
    case WM_TIMER:
      if (InputBoxSlot* slot = slotOf()) {
        KillTimer(dialog, wParam);
        Finish(dialog, *slot, kTimedOut);
      }
      return TRUE;
    default: break;
  }
  return FALSE;
}

// A size argument in pixels (scaled), or "not given" when empty.
int ScaledOrNotGiven(const wchar_t* text) {
  if (!*text) return kCoordNotGiven;
  const long long value = NumberOf(text);
  return MulDiv(value < 0 ? 0 : static_cast<int>(value), Gui().Dpi, USER_DEFAULT_SCREEN_DPI);
}

}  // namespace

ResultCode CmdInputBox(ScriptLine& line, CommandArgs& args) {
  if (Gui().InputBoxes >= static_cast<int>(kMaxInputBoxes)) {
    ShowNoticeBox(gui_msg::MaxInputBoxes, MB_OK, {});
    return ResultCode::Fail;
  }
  const auto index = static_cast<size_t>(Gui().InputBoxes);
  InputBoxSlot& slot = Gui().InputSlots[index];
  slot = InputBoxSlot{};
  slot.Title = *args[kArgTitle] ? std::wstring(args[kArgTitle]) : DefaultDialogTitle();
  slot.Prompt = args[kArgPrompt];
  slot.Default = args[kArgDefault];
  slot.Password = args[kArgHide][0] == L'H' || args[kArgHide][0] == L'h';
  slot.Width = ScaledOrNotGiven(args[kArgWidth]);
  slot.Height = ScaledOrNotGiven(args[kArgHeight]);
  slot.X = *args[kArgX] ? static_cast<int>(NumberOf(args[kArgX])) : kCoordNotGiven;
  slot.Y = *args[kArgY] ? static_cast<int>(NumberOf(args[kArgY])) : kCoordNotGiven;
  slot.TimeoutMs = TimeoutMs(args[kArgTimeout]);
  const std::vector<WORD> dialogTemplate = InputBoxTemplate();
  RequestDialogSetup(0);
  ++Gui().InputBoxes;
  const INT_PTR result =
      DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()),
                              DialogOwner(), InputBoxProc, static_cast<LPARAM>(index));
  --Gui().InputBoxes;
  slot.Dialog = nullptr;
  if (result <= 0 && result != kTimedOut) {
    ShowNoticeBox(gui_msg::InputBoxNotShown, MB_OK, {});
    return ResultCode::Fail;
  }
  Variable* output = args.Var[kArgOutput];
  if (output && output->Assign(slot.Result) != ResultCode::Ok) return ResultCode::Fail;
  static_cast<void>(line);
  return ReportOutcomeText(result == IDOK ? L"0" : result == IDCANCEL ? L"1" : L"2");
}
