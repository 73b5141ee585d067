// The console program's fatal exit and its silent test.
#include "qvtbatch/console.h"

#include "TK/tk_log.h"
#include "common/qvt_converter.h"

#include <iostream>

void qvt_end_process(int code)
{
  throw qvt_process_exit{code};
}

void fatal_error_exit(const std::string& message)
{
  tk_log_message(3, "%s", message);
  if (!is_silent())
    std::cerr << message << std::endl;
  qvt_end_process(-1);
}

bool is_silent()
{
  return qorvant_converter::instance().silent;
}
