// GuiState: everything the GUI subsystem keeps between commands: the script's
// windows with their controls, the shared font table, the open-dialog
// counters and the tooltip slots; reached through Gui().
//
// Invariants: every record in Windows has a window handle or is being
// created; a record leaves Windows when its window is destroyed and lives on
// only while an event thread holds it (shared_ptr). Control identifiers are
// the control's index + kFirstControlId. Only the script thread touches any
// of it (window procedures run on that thread too).
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "objects/callbacks.h"

class Variable;

// Coordinates the script did not give, and "centre" / "the window's own size".
inline constexpr int kCoordNotGiven = INT32_MIN;
inline constexpr int kCoordAuto = INT32_MIN + 1;
// The colour value meaning "the system's colour".
inline constexpr COLORREF kColorDefault = 0xFF000000;
// Control identifiers start here (so 1 and 2 stay IDOK and IDCANCEL).
inline constexpr int kFirstControlId = 3;
// Event messages say "no control" with this index.
inline constexpr int kNoControl = 11000;
inline constexpr size_t kMaxControls = 11000;
// "No tab control" for a control's tab-control index and the current tab.
inline constexpr uint8_t kNoTab = 255;
inline constexpr size_t kMaxTabControls = 255;
inline constexpr size_t kMaxFonts = 200;
inline constexpr size_t kToolTipSlots = 20;
// The window class of script windows.
inline constexpr wchar_t kGuiWindowClass[] = L"QuorivanceGUI";
// The private message a GUI window posts itself for an event.
inline constexpr UINT kMsgGuiAction = WM_USER + 20;
// The main window's dialog-setup request.
inline constexpr UINT kMsgDialogShown = WM_USER + 3;

enum class ControlType : uint8_t {
  Text,
  Picture,
  GroupBox,
  Button,
  Checkbox,
  Radio,
  DropDownList,
  ComboBox,
  ListBox,
  ListView,
  TreeView,
  Edit,
  DateTime,
  MonthCal,
  Hotkey,
  UpDown,
  Slider,
  Progress,
  Tab,
  ActiveX,
  Link,
  Custom,
  StatusBar,
};

// Control attribute bits.
enum : uint8_t {
  ATTRIB_IMPLICIT_CANCEL = 0x01,
  ATTRIB_ALTSUBMIT = 0x02,  // for an Edit: Ctrl+A is not select-all
  ATTRIB_HANDLER_RUNNING = 0x04,
  ATTRIB_HIDDEN = 0x08,
  ATTRIB_DISABLED = 0x10,
  ATTRIB_DEFAULT_BACKGROUND = 0x20,
  ATTRIB_TRANSPARENT = 0x40,
  ATTRIB_TYPE_SPECIFIC = 0x80,  // Picture: icon; Tab: Tab2; Slider: Invert; Edit: WantTab
};

struct GuiControlInfo {
  HWND Hwnd = nullptr;
  ControlType Type = ControlType::Text;
  uint8_t Attrib = 0;
  uint8_t TabControl = kNoTab;
  uint8_t TabPage = 0;
  Variable* Var = nullptr;
  // The g-label or function; shared so that a running event keeps it alive.
  std::shared_ptr<ScriptCallback> Handler;
  COLORREF Color = kColorDefault;
  HANDLE Image = nullptr;  // a Picture's bitmap or icon
};

struct FontEntry {
  std::wstring Face;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  int PointSize = 0;
  int Weight = FW_NORMAL;
  int Quality = PROOF_QUALITY;
  HFONT Font = nullptr;
};

// The five window events a script may handle, in the order of their names.
enum GuiWindowEvent : int {
  WINDOW_CLOSE,
  WINDOW_ESCAPE,
  WINDOW_SIZE,
  WINDOW_CONTEXTMENU,
  WINDOW_DROPFILES,
  kWindowEvents
};

struct GuiWindow {
  uint32_t Serial = 0;  // what threads keep as their default window
  std::wstring Name;
  HWND Hwnd = nullptr;
  HWND StatusBar = nullptr;
  HWND OwnerHwnd = nullptr;
  std::vector<GuiControlInfo> Controls;
  int DefaultButton = -1;
  std::array<std::shared_ptr<ScriptCallback>, kWindowEvents> Handlers;
  std::array<bool, kWindowEvents> EventRunning = {};
  bool HandlersResolved = false;
  std::wstring LabelPrefix;  // empty: the default prefix
  DWORD Style = WS_POPUP | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  DWORD ExStyle = 0;
  bool RadioGroupOpen = false;
  bool UseTheme = true;
  wchar_t Delimiter = L'|';
  size_t CurrentFont = 0;
  COLORREF TextColor = kColorDefault;
  COLORREF BackColor = kColorDefault;
  HBRUSH BackBrush = nullptr;
  COLORREF ControlColor = kColorDefault;
  HBRUSH ControlBrush = nullptr;
  HDROP PendingDrop = nullptr;
  int MarginX = kCoordNotGiven;
  int MarginY = kCoordNotGiven;
  int PrevX = 0, PrevY = 0, PrevW = 0, PrevH = 0;
  int MaxRight = 0, MaxBottom = 0;
  int SectionX = 0, SectionY = 0, SectionRight = 0, SectionBottom = 0;
  int MinW = kCoordNotGiven, MinH = kCoordNotGiven, MaxW = kCoordNotGiven, MaxH = kCoordNotGiven;
  int CurrentListView = -1;  // the controls the LV_/TV_ functions act on
  int CurrentTreeView = -1;
  size_t TabControlCount = 0;
  uint8_t CurrentTab = kNoTab;
  uint8_t CurrentTabPage = 0;
  bool FirstShowPending = true;
  bool FirstActivationPending = true;
  bool ShowInProgress = false;
  bool Destroying = false;
  bool DpiScale = true;
};

// What a GUI event thread was started for; A_Gui and its fellows read it.
struct GuiEvent {
  std::shared_ptr<GuiWindow> Window;
  int ControlIndex = kNoControl;
  std::wstring EventText;  // A_GuiEvent
  int64_t EventInfo = 0;
  int X = kCoordNotGiven, Y = kCoordNotGiven;
  int Width = 0, Height = 0;  // GuiSize only
};

// An InputBox's slot while it is up.
struct InputBoxSlot {
  std::wstring Title, Prompt, Default;
  int Width = kCoordNotGiven, Height = kCoordNotGiven, X = kCoordNotGiven, Y = kCoordNotGiven;
  UINT TimeoutMs = 0;
  bool Password = false;
  HWND Dialog = nullptr;
  HFONT Font = nullptr;
  std::wstring Result;
};
inline constexpr size_t kMaxInputBoxes = 4;

struct GuiState {
  // Script windows in creation order.
  std::vector<std::shared_ptr<GuiWindow>> Windows;
  // Records made by "Default" for windows that do not exist yet.
  std::vector<std::shared_ptr<GuiWindow>> Placeholders;
  uint32_t NextSerial = 1;
  bool ClassRegistered = false;
  int Dpi = 96;  // screen pixels per logical inch, read at start-up
  std::vector<FontEntry> Fonts;
  // Open standard dialogs, by kind.
  int MsgBoxes = 0;
  int InputBoxes = 0;
  int FileDialogs = 0;
  int FolderDialogs = 0;
  std::array<InputBoxSlot, kMaxInputBoxes> InputSlots;
  std::array<HWND, kToolTipSlots> ToolTips = {};
};

namespace state_detail {
// The one instance; reach it through Gui().
extern GuiState gui;
}  // namespace state_detail

inline GuiState& Gui() { return state_detail::gui; }
