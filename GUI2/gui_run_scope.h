// The scope of one conversion run in the wizard: the core's run scope plus the
// wizard's 200 ms progress timer, started from the converting thread (the ticks
// arrive on the GUI thread). Without a shell it is an internal error.
#pragma once

#include "common/err_handler.h"

#include <atomic>

class gui_run_scope {
public:
  static constexpr unsigned tick_ms = 200;

  explicit gui_run_scope(std::atomic<bool>& finished);

private:
  init_conversion scope_;
};
