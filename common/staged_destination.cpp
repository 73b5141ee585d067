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

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

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
  files.push_back(workbook);
  const std::filesystem::path target_folder = std::filesystem::path(plat::to_utf8(destination_)).parent_path();
  std::vector<std::pair<std::filesystem::path, std::filesystem::path>> moves;
  for (const auto& file : files) {
    std::filesystem::path target = target_folder / file.filename();
    if (!plat::take_mode_of_replaced(file.string(), target.string()))
      cannot_create(target, errno);
    moves.emplace_back(file, std::move(target));
  }
  for (const auto& [file, target] : moves) {
    if (std::rename(file.c_str(), target.c_str()) != 0)
      cannot_create(target, errno);
  }
  return true;
}
