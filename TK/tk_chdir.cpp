// The previous directory is kept as the system's bytes; it is restored only
// when the switch itself succeeded, so a failed switch leaves nothing to undo.
#include "TK/tk_chdir.h"

#include "TK/tk_log.h"
#include "TK/tk_module.h"
#include "platform/files.h"
#include "platform/text_codec.h"

tk_temp_chdir::tk_temp_chdir(const std::string& folder)
{
  tk_log_message(2, "tk_temp_chdir::ctor");
  initialize(folder.empty() ? tk_get_module_dir() : folder);
}

tk_temp_chdir::~tk_temp_chdir()
{
  tk_log_message(2, "tk_temp_chdir::dtor");
  if (changed_)
    plat::change_dir(saved_dir_);
  tk_log_message(2, "tk_temp_chdir::dtor - at the END");
}

void tk_temp_chdir::initialize(const std::string& folder)
{
  tk_log_message(2, "tk_temp_chdir::initialize(%s)", folder);
  tk_log_message(1, "Step #1");
  if (!plat::current_dir(saved_dir_)) {
    tk_log_message(1, "_getcwd failed");
    changed_ = false;
    return;
  }
  tk_log_message(1, "Step #2");
  changed_ = plat::change_dir(folder);
  if (!changed_)
    tk_log_message(1, "_chdir failed");
}

tk_temp_chdir_w::tk_temp_chdir_w(const std::wstring& folder)
{
  initialize(folder.empty() ? tk_get_module_dir<std::wstring>() : folder);
}

tk_temp_chdir_w::~tk_temp_chdir_w()
{
  if (changed_)
    plat::change_dir(saved_dir_);
}

void tk_temp_chdir_w::initialize(const std::wstring& folder)
{
  tk_log_message(2, L"tk_temp_chdir_w::initialize(%s)", folder);
  if (!plat::current_dir(saved_dir_)) {
    tk_log_message(2, L"_wgetcwd failed");
    changed_ = false;
    return;
  }
  changed_ = plat::change_dir(plat::to_utf8(folder));
  if (!changed_)
    tk_log_message(2, L"_wchdir failed");
}
