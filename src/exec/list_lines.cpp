// The ring of recently executed lines.
#include "exec/list_lines.h"

#include <windows.h>

#include <cstdio>

#include "base/script_line.h"
#include "exec/exec_state.h"
#include "exec/render_line.h"

namespace {

constexpr size_t kListLinesBuffer = 65534;
constexpr size_t kLineRenderLimit = 200;
constexpr size_t kMinRoomLeft = 25;

inline constexpr wchar_t kHeader[] =
    L"Script lines most recently executed (oldest first).  Press [F5] to refresh.  The seconds elapsed between a "
    L"line and the one after it is in parentheses to the right (if not 0).  The bottommost line's elapsed time is "
    L"the number of seconds since it executed.\r\n\r\n";
inline constexpr wchar_t kFooter[] = L"\r\nPress [F5] to refresh.";

// Renders the newest `count` logged lines, oldest first.
std::wstring RenderNewest(int count) {
  std::wstring out = kHeader;
  DWORD now = GetTickCount();
  int start = (Exec().RingNext - count + kListLinesRingSize * 2) % kListLinesRingSize;
  for (int n = 0; n < count; ++n) {
    const LoggedLine& entry = Exec().Ring[(start + n) % kListLinesRingSize];
    if (!entry.Line) continue;
    const LoggedLine& following = Exec().Ring[(start + n + 1) % kListLinesRingSize];
    DWORD until = n + 1 < count && following.Line ? following.Tick : now;
    out += RenderLine(*entry.Line, kLineRenderLimit);
    double seconds = (until - entry.Tick) / 1000.0;
    if (seconds >= 0.005) {
      wchar_t elapsed[32];
      swprintf(elapsed, 32, L" (%0.2f)", seconds);
      out += elapsed;
    }
    out += L"\r\n";
  }
  out += kFooter;
  return out;
}

}  // namespace

void UnlogLastLine() {
  Exec().RingNext = (Exec().RingNext + kListLinesRingSize - 1) % kListLinesRingSize;
  Exec().Ring[Exec().RingNext] = {};
}

std::wstring BuildListLinesText() {
  for (int count = kListLinesRingSize; count > 0; count -= 100) {
    std::wstring text = RenderNewest(count);
    if (text.size() + kMinRoomLeft <= kListLinesBuffer) return text;
  }
  return RenderNewest(0);
}
