// The base bodies of the engine interface: a database that is a single file is
// deleted and found on the file system; the property set is only remembered.
#include "UDB/udb_engine.h"

#include "TK/tk_codepage.h"
#include "TK/tk_exception.h"
#include "TK/tk_files.h"
#include "platform/text_codec.h"

#include <cerrno>
#include <unistd.h>

bool udb_engine::db_delete(const std::wstring& name)
{
  const std::string path = plat::to_utf8(name);
  // A name with a NUL in it names no file; unlink would see only its head.
  if (path.find('\0') != std::string::npos) {
    errno = ENOENT;
    throw tk_exception_ex();
  }
  if (::unlink(path.c_str()) != 0)
    throw tk_exception_ex();
  return true;
}

bool udb_engine::is_db_exist(const std::wstring& name)
{
  return tk_is_file_exist1(tk_wstring_to_ansi(name, 3), tk_exist_not_folder);
}

void udb_engine::set_properties(udb_properties* properties)
{
  properties_ = properties;
}
