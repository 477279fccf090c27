// The application layer's one state record.
#include "app/app_state.h"

namespace state_detail {
AppState app;
}  // namespace state_detail
