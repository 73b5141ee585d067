// A run's hidden staging folder beside its destination. The folder is a private
// temporary folder, unique, entered only by its owner and locked by the run;
// commit moves the run's files out with rename, which replaces a destination
// in one step.
#include "common/staged_destination.h"

#include "TK/tk_exception.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "base/format.h"
#include "platform/process.h"
#include "platform/text_codec.h"
#include "xlsx/zip_packer.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char staging_prefix[] = ".qvt_stage_";

[[noreturn]] void cannot_create(const std::filesystem::path& target, int error)
{
  throw tk_exception(base::sprintf("Cannot create the destination file '%s': %s", target.string(),
                                   plat::error_text(error)),
                     tk_level_error);
}

} // namespace

staged_destination::staged_destination(const std::wstring& destination) : destination_(destination)
{
  const tk_file_wname name(destination);
  const std::string folder = plat::to_utf8(name.get_folder());
  if (!staging_.create(folder, staging_prefix, true)) {
    const int error = errno;
    const std::string shown = folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
    throw tk_exception(base::sprintf("Cannot create a file in the folder '%s': %s", shown,
                                     plat::error_text(error)),
                       tk_level_error);
  }
  plat::utf8_to_wide_lenient(staging_.path(), folder_);
  path_ = folder_ + L"/" + name.name + name.extension;
  tk_log_message(2, L"Staging folder: %s", folder_);
}

void staged_destination::remove_abandoned(const std::wstring& destination)
{
  const std::string folder = plat::to_utf8(tk_file_wname(destination).get_folder());
  for (const char* prefix : {staging_prefix, XlsxBook::pack_staging_prefix})
    plat::private_temp_folder::remove_abandoned(folder, prefix);
}

namespace {

// One file of the set on its way beside the destination.
struct placed_file {
  std::filesystem::path staged;
  std::filesystem::path target;
  std::filesystem::path aside;  // the replaced file until the set is in; empty: none
};

// Puts the staged file at its target, keeping the file it replaces as `aside`
// in the staging folder: a second name (the target never goes missing), or on
// a file system without hard links, the file itself moved there for the moment
// between two renames. 0, or the errno of the step that failed with nothing changed.
int put_in_place(placed_file& file, const std::filesystem::path& aside)
{
  struct stat entry {};
  if (::lstat(file.target.c_str(), &entry) == 0) {
    if (::link(file.target.c_str(), aside.c_str()) != 0) {
      if (::rename(file.target.c_str(), aside.c_str()) != 0)
        return errno;
      if (::rename(file.staged.c_str(), file.target.c_str()) != 0) {
        const int error = errno;
        ::rename(aside.c_str(), file.target.c_str());
        return error;
      }
      file.aside = aside;
      return 0;
    }
    file.aside = aside;
  } else if (errno != ENOENT) {
    return errno;
  }
  return ::rename(file.staged.c_str(), file.target.c_str()) == 0 ? 0 : errno;
}

// Puts back what put_in_place replaced: the kept file at its name, or with
// none, the new file back into the staging folder, which takes it away.
void take_back(const placed_file& file)
{
  const bool restored = file.aside.empty() ? ::rename(file.target.c_str(), file.staged.c_str()) == 0
                                           : ::rename(file.aside.c_str(), file.target.c_str()) == 0;
  if (!restored)
    tk_log_message(3, "Cannot put '%s' back as it was: %s", file.target.string(), plat::error_text(errno));
}

// A report of the run that names the destination's folder for the staging folder.
class user_terms_exception : public tk_exception {
public:
  user_terms_exception(const tk_exception& e, std::string message) : tk_exception(std::move(message), e.get_level())
  {
    set_code(e.get_code());
  }
};

} // namespace

bool staged_destination::commit()
{
  const std::filesystem::path workbook(plat::to_utf8(path_));
  std::error_code error;
  if (!std::filesystem::is_regular_file(workbook, error))
    return false;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(workbook.parent_path(), error)) {
    if (entry.path() != workbook && entry.is_regular_file(error))
      files.push_back(entry.path());
  }
  // In name order: a run that fails part way has gone as far on every file system.
  std::sort(files.begin(), files.end());
  files.push_back(workbook);
  const std::filesystem::path destination(plat::to_utf8(destination_));
  const std::filesystem::path target_folder = destination.parent_path();
  std::vector<placed_file> set;
  for (const auto& file : files) {
    std::filesystem::path target = target_folder / file.filename();
    // The set is one workbook: who may read the workbook may read all of it, and no one else.
    if (!plat::may_replace_with_file(target.string()) ||
        !plat::take_mode_of_replaced(file.string(), destination.string()))
      cannot_create(target, errno);
    set.push_back({file, std::move(target), {}});
  }
  for (std::size_t i = 0; i < set.size(); ++i) {
    const int failed = put_in_place(set[i], workbook.parent_path() / (".replaced_" + std::to_string(i)));
    if (failed != 0) {
      for (std::size_t k = i; k-- > 0;)
        take_back(set[k]);
      cannot_create(set[i].target, failed);
    }
  }
  return true;
}

void staged_destination::rethrow_in_user_terms(const std::wstring& destination, const tk_exception& e)
{
  const std::filesystem::path target(plat::to_utf8(destination));
  const std::string folder = target.parent_path().string();
  std::string message = e.get_message();
  bool changed = false;
  const std::string package = std::string("/") + XlsxBook::packed_name;
  for (const char* prefix : {staging_prefix, XlsxBook::pack_staging_prefix}) {
    const bool zips = prefix == XlsxBook::pack_staging_prefix;
    const std::string hidden = (std::filesystem::path(folder) / prefix).string();
    // The folder's name ends in six unique characters.
    for (std::size_t at = message.find(hidden); at != std::string::npos; at = message.find(hidden, at)) {
      std::size_t end = std::min(message.size(), at + hidden.size() + 6);
      std::string shown = folder;
      if (zips && message.compare(end, package.size(), package) == 0) {
        end += package.size();
        shown = target.string();
      }
      message.replace(at, end - at, shown);
      at += shown.size();
      changed = true;
    }
  }
  if (!changed)
    throw;
  throw user_terms_exception(e, std::move(message));
}
