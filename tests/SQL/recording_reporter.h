// A tk_error_reporter for tests: every report is kept with the context it was
// given, and nothing is shown or aborted.
#pragma once

#include "TK/tk_error_reporter.h"

#include <string>
#include <vector>

class recording_reporter : public tk_error_reporter {
public:
  struct report {
    std::wstring context;
    std::string message;
  };

  void set_context(const std::wstring& name) override { context_ = name; }
  void handle(const tk_exception& e, bool) override { reports.push_back({context_, e.get_message()}); }

  std::vector<report> reports;

private:
  std::wstring context_;
};
