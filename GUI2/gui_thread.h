// Work that a worker thread asks of the wizard runs on the GUI thread: widgets
// live there only. A call made on the GUI thread runs at once (a blocking hop to
// itself would deadlock); an exception thrown by the work reaches the caller.
#pragma once

#include <functional>

namespace gui {

// True on the thread of the QApplication, and while no QApplication exists.
bool on_gui_thread();

// Runs the work on the GUI thread and waits for it to end.
void run_on_gui_thread(const std::function<void()>& work);

} // namespace gui
