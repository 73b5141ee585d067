// Where layers below the conversion core send the failures of single items (a
// foreign key, a view) that do not end their operation. The first reporter
// constructed is the installed one until it is destroyed; with none installed a
// failure is only logged by its caller.
#pragma once

#include "TK/tk_exception.h"

#include <string>

class tk_error_reporter {
public:
  tk_error_reporter() noexcept;
  virtual ~tk_error_reporter();
  tk_error_reporter(const tk_error_reporter&) = delete;
  tk_error_reporter& operator=(const tk_error_reporter&) = delete;

  // The text put before the next reports; an empty one clears it.
  virtual void set_context(const std::wstring& name) = 0;
  // Reports the failure; raises tk_final_exception when the user chose Abort
  // and no_abort is not set.
  virtual void handle(const tk_exception& e, bool no_abort) = 0;

  // The installed reporter, or null.
  static tk_error_reporter* installed() noexcept;
};

// A single item failed and its operation goes on: the installed reporter, if
// any, is given the context and the failure; its tk_final_exception (Abort)
// passes through. Without one the caller's log line is all that remains.
void tk_report_item_failure(const std::wstring& context, const tk_exception& e);
