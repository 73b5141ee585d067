// Part files: every part of the package reaches the disk through WritePartFile,
// so each one is checked the same way (path length, open, every byte, close).
#include "xlsx/part_folder.h"

#include "xlsx/xlsx_file_writer.h"
#include "xlsx/xml_emitter.h"

#include "platform/files.h"
#include "base/format.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <utility>

namespace XlsxBook {

namespace {

constexpr std::size_t part_buffer_size = 64 * 1024;

} // namespace

bool WritePartFile(const std::wstring& path, const std::function<void(CXmlEmitter&)>& write,
                   std::string& error)
{
  make_part_folders(path);
  const std::string narrow = plat::to_utf8(path);
  if (narrow.size() >= plat::max_path_bytes) {
    error = base::sprintf("the temporary path '%s' is too long", narrow);
    return false;
  }
  CFileWriter out(part_buffer_size);
  if (!out.Open(narrow)) {
    error = out.ErrorText();
    return false;
  }
  {
    CXmlEmitter xml(out);
    write(xml);
  }  // the emitter closes every open element here
  if (!out.Close()) {
    error = out.ErrorText();
    return false;
  }
  return true;
}

bool make_part_folders(const std::wstring& path)
{
  const std::size_t last = path.find_last_of(L"/\\");
  if (last == std::wstring::npos)
    return true;
  std::string folder = plat::to_utf8(path.substr(0, last));
  std::replace(folder.begin(), folder.end(), '\\', '/');
  return folder.empty() || plat::make_folders(folder, 0700);
}

PartFolder::PartFolder(std::wstring root, std::vector<std::wstring>& part_list)
    : root_(std::move(root)), part_list_(part_list)
{
}

bool PartFolder::Write(const std::wstring& part_name,
                       const std::function<void(CXmlEmitter&)>& write)
{
  List(part_name);
  std::string error;
  if (!WritePartFile(root_ + L"/" + part_name, write, error))
    return Fail(std::move(error));
  return true;
}

void PartFolder::List(const std::wstring& part_name)
{
  if (std::find(part_list_.begin(), part_list_.end(), part_name) == part_list_.end())
    part_list_.push_back(part_name);
}

bool PartFolder::Fail(std::string reason)
{
  error_ = std::move(reason);
  return false;
}

} // namespace XlsxBook
