// A run's hidden staging folder beside its destination. The folder is a private
// temporary folder, unique and entered only by its owner; commit moves
// the run's files out with rename, which replaces a destination in one step.
#include "common/staged_destination.h"

#include "TK/tk_exception.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "platform/format.h"
#include "platform/process.h"
#include "platform/text_codec.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

staged_destination::staged_destination(const std::wstring& destination) : destination_(destination)
{
  const tk_file_wname name(destination);
  const std::string folder = plat::to_utf8(name.get_folder());
  if (!staging_.create(folder, ".qvt_stage_")) {
    const int error = errno;
    const std::string shown = folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
    throw tk_exception(plat::sprintf("Cannot create a file in the folder '%s': %s", shown,
                                     plat::error_text(error)),
                       tk_level_error);
  }
  plat::utf8_to_wide_lenient(staging_.path(), folder_);
  path_ = folder_ + L"/" + name.name + name.extension;
  tk_log_message(2, L"Staging folder: %s", folder_);
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
  for (const auto& file : files) {
    const std::filesystem::path target = target_folder / file.filename();
    if (std::rename(file.c_str(), target.c_str()) != 0) {
      const int failure = errno;
      throw tk_exception(plat::sprintf("Cannot create the destination file '%s': %s", target.string(),
                                       plat::error_text(failure)),
                         tk_level_error);
    }
  }
  return true;
}
