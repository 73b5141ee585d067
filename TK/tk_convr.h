// The base of every converter: a thread functor with the settings that every
// conversion has. finished is the one field another thread polls during a run,
// so it is atomic: stored with release order once everything a reader of the
// finished run relies on is written, loaded with acquire order.
#pragma once

#include "TK/tk_threa.h"

#include <atomic>
#include <string>

class tk_converter : public tk_thread_functor {
public:
  tk_converter();
  ~tk_converter() override = default;

  virtual void set_silent(bool on);

  // Checks a log path the user gave and switches logging to it. A bad path raises
  // a level-1 tk_exception and leaves the logger as it was; log_file keeps the
  // path in either case. Without a logger it does nothing.
  void set_logfile(const std::string& path);

  std::atomic<bool> finished{false};
  bool silent = false;
  std::wstring source;       // the source database
  std::wstring destination;  // the destination file's path
  std::string log_file;
};
