// The file of table names of "--tab_file=": one name a line, blanks kept, empty
// lines skipped, CR LF as LF, UTF-8 with or without a byte-order mark. The
// converter's list is replaced only by a file read to its end.
#pragma once

#include <string>

// Replaces the converter's selected tables by the names in the file. A missing
// or unreadable file, a line too long to be a table name (refused without
// reading the rest of it) or a NUL byte ends the program through
// fatal_error_exit; a line that is not UTF-8 raises the conversion error.
void process_tab_file(const std::string& path);
