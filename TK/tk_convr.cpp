// The converter base: its settings and the check of a user's log path, which
// either switches logging to the path or explains, at level 1, why it cannot.
#include "TK/tk_convr.h"

#include "TK/tk_exception.h"
#include "TK/tk_files.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"

tk_converter::tk_converter() { tk_log_message(2, "tk_converter::ctor"); }

void tk_converter::set_silent(bool on) { silent = on; }

void tk_converter::set_logfile(const std::string& path)
{
  tk_log_message(1, "tk_convertor::set_logfile(%s)", path);
  if (!tk_logger::exists())
    return;
  log_file = path;
  if (log_file.empty()) {
    tk_log_message(1, "Filename is empty");
    return;
  }
  if (tk_is_path_exist(log_file))
    throw tk_exception("Logfile name specifies an existing path.", 1);
  if (tk_is_file_exist1(log_file, tk_exist_not_folder) && !tk_is_file_exist1(log_file, tk_exist_writable))
    throw tk_exception("Logfile name specifies an existing read-only file.", 1);
  const std::string folder = tk_file_name(log_file).get_folder();
  if (!tk_is_path_exist(folder))
    throw tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.", 1);
  if (!tk_check_access(folder.c_str(), GENERIC_WRITE))
    throw tk_exception("Cannot create log file. Make sure you have sufficient\n"
                       "privileges to create files in the directory.",
                       1);
  tk_logger& logger = tk_logger::instance();
  logger.set_file_name(log_file);
  logger.enable(true);
}
