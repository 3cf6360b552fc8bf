#pragma once
// The GUI-thread port on Qt: the GUI thread is the application's thread, posted tasks run from its
// event loop (including the nested loops of WaitWindowEvent and modal boxes). Any thread; a
// QApplication must exist before a task is posted.

#include "runtime/gui_thread.h"

namespace folvex {

// The one process-wide instance.
GuiThreadPort& qtGuiThread();

} // namespace folvex
