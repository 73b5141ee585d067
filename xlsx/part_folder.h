// The package's parts as files in its temporary folder, each named by its path
// in the package. A part file is written whole or reported: a writer gets false
// and the reason, never a part cut short that is taken for a written one.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace XlsxBook {

class CXmlEmitter;

// Writes one part file: its folders, a UTF-8 file writer, an emitter on it that
// `write` fills. False, with the reason in `error`, when the path is too long or
// the file could not be written completely.
bool WritePartFile(const std::wstring& path, const std::function<void(CXmlEmitter&)>& write,
                   std::string& error);

// Creates the missing folders of a part path (everything before its last '/' or
// '\', either read as '/'); the last component is never created. A folder that
// exists already is no error; false (errno set) when one cannot be made.
bool make_part_folders(const std::wstring& path);

// Where the part writers put the parts: the temporary folder, and the list of
// the package's part names, which every part written or to be written is on.
// The list belongs to the workbook; the folder only adds to it.
class PartFolder {
public:
  PartFolder(std::wstring root, std::vector<std::wstring>& part_list);

  // Lists the part, then writes its file through WritePartFile. False, with the
  // reason kept for Error(), when the file could not be written completely.
  bool Write(const std::wstring& part_name, const std::function<void(CXmlEmitter&)>& write);
  // Lists a part that its own writer puts into the folder (a sheet, a chart
  // sheet's parts); a name already listed is not listed twice.
  void List(const std::wstring& part_name);
  // Keeps the reason of a failure for Error(); always false.
  bool Fail(std::string reason);

  const std::wstring& Root() const { return root_; }
  // Why the last write failed; empty while none did.
  const std::string& Error() const { return error_; }

private:
  std::wstring root_;
  std::vector<std::wstring>& part_list_;
  std::string error_;
};

} // namespace XlsxBook
