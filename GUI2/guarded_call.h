// The one place where an exception from a page hook or slot stops: nothing may
// escape into Qt's event loop. A tk_exception goes to the error handler without
// abort, an Abort (tk_final_exception) ends quietly, any other one is an error box;
// an internal error (qvt_process_exit) ends the program at once.
#pragma once

#include <functional>

namespace gui {

// Runs the work; false when it ended with an exception, which has then been reported.
bool guarded(const std::function<void()>& work) noexcept;

} // namespace gui
