// Paths are made absolute lexically (the entry need not exist, links stay as
// they are) and split on the last '/' and the last '.' after it, so that joining
// the parts gives the absolute path back.
#include "TK/tk_fname.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_module.h"
#include "platform/files.h"
#include "platform/text_codec.h"

namespace {

// A user's path that cannot serve is the user's error, not the program's.
[[noreturn]] void raise_too_long()
{
  throw tk_exception(std::string("Path is too long"), tk_level_error);
}

std::string make_absolute(const std::string& path)
{
  std::string absolute;
  if (!plat::absolute_path(path, absolute)) {
    tk_log_message(2, "Cannot make absolute: %s", path);
    throw tk_exception(std::string("Path cannot be resolved"), tk_level_error);
  }
  if (absolute.size() >= plat::max_path_bytes)
    raise_too_long();
  return absolute;
}

// ".bashrc" is all extension and no name, as the system's own splitter has it.
template <class Text>
void split_path(const Text& path, Text& folder, Text& name, Text& extension)
{
  const auto slash = path.rfind(typename Text::value_type('/'));
  const auto start = slash == Text::npos ? 0 : slash + 1;
  folder = path.substr(0, start);
  const auto dot = path.rfind(typename Text::value_type('.'));
  if (dot == Text::npos || dot < start) {
    name = path.substr(start);
    extension.clear();
  } else {
    name = path.substr(start, dot - start);
    extension = path.substr(dot);
  }
}

template <class Text>
Text join_path(const Text& drive, const Text& folder, const Text& name, const Text& extension)
{
  using char_type = typename Text::value_type;
  Text path = drive + folder;
  if (!folder.empty() && folder.back() != char_type('/'))
    path += char_type('/');
  path += name;
  if (!extension.empty() && extension.front() != char_type('.'))
    path += char_type('.');
  path += extension;
  return path;
}

template <class Text>
Text dotted_ext(const Text& ext)
{
  if (ext.empty() || ext.front() == typename Text::value_type('.'))
    return ext;
  return Text(1, typename Text::value_type('.')) + ext;
}

} // namespace

tk_file_name::tk_file_name(const std::string& path)
{
  tk_log_message(1, "tk_file_name::ctor(%s)", path);
  initialize(path);
}

tk_file_name::tk_file_name(const char* path)
{
  tk_log_message(1, "tk_file_name::ctor(%s)", path ? path : "");
  initialize(path);
}

void tk_file_name::initialize(const char* path)
{
  if (path == nullptr)
    throw tk_mail_assertion("tk_fname", 31);
  initialize(std::string(path));
}

void tk_file_name::initialize(const std::string& path)
{
  const std::string absolute = path.empty() ? tk_get_module_file_name() : make_absolute(path);
  std::string file_name;
  split_path(absolute, folder, file_name, extension);
  drive.clear();
  name = path.empty() ? std::string() : file_name;
}

std::string tk_file_name::get_folder() const { return drive + folder; }

std::string tk_file_name::get_full_path() const
{
  std::string path = join_path(drive, folder, name, extension);
  if (path.size() >= plat::max_path_bytes)
    raise_too_long();
  return path;
}

void tk_file_name::set_ext(const std::string& ext) { extension = dotted_ext(ext); }

tk_file_wname::tk_file_wname(const std::wstring& path)
{
  tk_log_message(1, L"tk_file_name::ctor(%s)", path);
  initialize(path);
}

tk_file_wname::tk_file_wname(const wchar_t* path)
{
  tk_log_message(1, L"tk_file_name::ctor(%s)", path ? path : L"");
  initialize(path);
}

void tk_file_wname::initialize(const wchar_t* path)
{
  if (path == nullptr)
    throw tk_mail_assertion("tk_fname", 83);
  initialize(std::wstring(path));
}

void tk_file_wname::initialize(const std::wstring& path)
{
  tk_log_message(1, L"tk_file_wname::initialize(%s)", path);
  std::wstring absolute;
  if (path.empty()) {
    absolute = tk_get_module_file_name<std::wstring>();
  } else if (!plat::utf8_to_wide(make_absolute(plat::to_utf8(path)), absolute)) {
    // The current directory's own name is no UTF-8 text.
    throw tk_exception(std::string("Path cannot be resolved"), tk_level_error);
  }
  std::wstring file_name;
  split_path(absolute, folder, file_name, extension);
  drive.clear();
  name = path.empty() ? std::wstring() : file_name;
}

std::wstring tk_file_wname::get_folder() const { return drive + folder; }

std::wstring tk_file_wname::get_full_path() const
{
  std::wstring path = join_path(drive, folder, name, extension);
  if (plat::to_utf8(path).size() >= plat::max_path_bytes)
    raise_too_long();
  return path;
}

void tk_file_wname::set_ext(const std::wstring& ext) { extension = dotted_ext(ext); }

std::wstring tk_change_file_ext(const std::wstring& path, const std::wstring& name,
                                const std::wstring& ext, bool keep)
{
  if (keep)
    return name;
  // An empty path means the current folder, like any relative one: the
  // program's own folder is seldom one the user may write to.
  tk_file_wname file(path.empty() ? std::wstring(L"./") : path);
  // Only a path that is still not rooted after splitting falls back on the
  // program's folder; a drive letter has no meaning here.
  if (file.get_folder().empty() || file.get_folder().front() != L'/')
    file = tk_file_wname(tk_get_module_file_name<std::wstring>());
  file.name = name;
  file.set_ext(ext);
  return file.get_full_path();
}
