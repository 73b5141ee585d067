// Reading the table-name file. A line is at most 254 characters: a MySQL name is
// far shorter, so a longer line means the file is not a list of table names and
// the program stops there, without reading on, rather than convert a list it did
// not understand.
#include "qvtbatch/tab_file.h"

#include "TK/tk_codepage.h"
#include "TK/tk_files.h"
#include "TK/tk_log.h"
#include "common/qvt_converter.h"
#include "base/format.h"
#include "platform/line_reader.h"
#include "qvtbatch/console.h"

#include <vector>

namespace {

constexpr std::size_t longest_line = 254;
constexpr char byte_order_mark[] = "\xEF\xBB\xBF";

[[noreturn]] void too_long(unsigned number)
{
  fatal_error_exit(base::sprintf("Line %u of the table names file is longer than %u characters.\n"
                                 "Please verify the correct path/name was given.",
                                 number, static_cast<unsigned>(longest_line)));
}

} // namespace

void process_tab_file(const std::string& path)
{
  tk_log_message(1, "process_tab_file(%s)", path);
  if (!tk_is_file_exist1(path, tk_exist_not_folder))
    fatal_error_exit("Table names file does not exist.\nPlease verify the correct path/name was given.");

  static constexpr const char* unreadable =
      "Table names file cannot be read.\nPlease verify you may read the file.";
  plat::line_reader file(path);
  if (!file.is_open())
    fatal_error_exit(unreadable);

  std::vector<std::wstring> names;
  bool first = true;
  bool utf8 = false;
  unsigned number = 0;
  std::string line;
  for (;;) {
    const plat::line_reader::result got = file.next(line, longest_line + 3);
    if (got == plat::line_reader::result::end)
      break;
    if (got == plat::line_reader::result::failed)
      fatal_error_exit(unreadable);
    ++number;
    if (got == plat::line_reader::result::too_long)
      too_long(number);
    if (line.empty())
      continue;
    if (first) {
      first = false;
      if (line.compare(0, 3, byte_order_mark) == 0) {
        utf8 = true;
        line.erase(0, 3);
        // A mark alone on the first line names no table.
        if (line.empty())
          continue;
      }
    }
    if (line.size() > longest_line)
      too_long(number);
    // The decoders stop at a NUL byte and would keep a cut name.
    if (line.find('\0') != std::string::npos)
      fatal_error_exit(base::sprintf("Line %u of the table names file holds a NUL byte: the file is not text.\n"
                                     "Please verify the correct path/name was given.",
                                     number));
    names.push_back(utf8 ? tk_utf8_to_wstring(line) : tk_ansi_to_wstring(line));
  }

  qorvant_converter::instance().selected_tables = std::move(names);
}
