// The installed reporter: one process-wide slot, taken by the first reporter
// constructed and emptied only by that reporter's destructor.
#include "TK/tk_error_reporter.h"

namespace {

tk_error_reporter* installed_reporter = nullptr;

} // namespace

tk_error_reporter::tk_error_reporter() noexcept
{
  if (installed_reporter == nullptr)
    installed_reporter = this;
}

tk_error_reporter::~tk_error_reporter()
{
  if (installed_reporter == this)
    installed_reporter = nullptr;
}

tk_error_reporter* tk_error_reporter::installed() noexcept
{
  return installed_reporter;
}

void tk_report_item_failure(const std::wstring& context, const tk_exception& e)
{
  tk_error_reporter* reporter = tk_error_reporter::installed();
  if (reporter == nullptr)
    return;
  reporter->set_context(context);
  reporter->handle(e, false);
}
