// The application layer's one state record.
#include "app/app_state.h"

#include <new>

#include "values/values_state.h"

namespace state_detail {
AppState app;
}  // namespace state_detail

void ResetAppState() {
  // Windows resources first, while the handles that name them are known:
  // the tray icon, the main window (destroyed as the program's own act, so
  // no exit sequence starts), its font, icons and classes.
  ReleaseMainWindow();
  // The timer list is owned by plain links; the rest frees itself below.
  DeleteAllTimers();
  // The values layer's current thread may point into the thread records;
  // it goes back to the record used before threads exist.
  ValuesState& values = Values();
  for (const ThreadSettings& record : App().Threads.Records)
    if (values.CurrentThread == &record) values.CurrentThread = &values.InitialThread;
  App().~AppState();
  new (&App()) AppState();
}
