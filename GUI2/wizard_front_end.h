// What the core tells the wizard. Outside a run only reports come, and they go
// to the wizard's boxes and dialogs and its error list; a run's own calls
// (progress and its end) are answered as by nobody until the progress page
// takes them.
#pragma once

#include "common/run_front_end.h"

class wizard_front_end : public null_front_end {
public:
  report_answer report(std::uint32_t level, const std::string& text, bool quiet) override;
};
