// The one place where an exception from a page hook or slot stops: nothing may
// escape into Qt's event loop. A tk_exception or any other exception is an error
// box, an Abort (tk_final_exception) ends quietly; an internal error (level 2, or
// qvt_process_exit) ends the program at once.
#pragma once

#include <functional>
#include <string>

class tk_exception;

namespace gui {

// What a page shows for the error: the program's own text for its code, else its message.
std::string page_error_text(const tk_exception& e);

// Runs the work; false when it ended with an exception, which has then been reported.
bool guarded(const std::function<void()>& work) noexcept;

} // namespace gui
