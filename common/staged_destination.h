// The private place where a run builds a workbook that a DAO engine writes in
// place (.xls): a hidden folder of mode 0700 beside the destination, on the same
// file system, so that the destination is touched only by the final rename and
// every other way out removes the folder with whatever the run put into it.
#pragma once

#include "platform/files.h"

#include <string>

class staged_destination {
public:
  // Makes the folder; a level-1 error names the system's reason when it cannot.
  explicit staged_destination(const std::wstring& destination);
  // Removes the folder and everything still in it.
  ~staged_destination() = default;
  staged_destination(const staged_destination&) = delete;
  staged_destination& operator=(const staged_destination&) = delete;

  // Where the run writes its workbook: the destination's file name inside the
  // folder. Numbered siblings of a split workbook go beside it.
  const std::wstring& path() const { return path_; }
  const std::wstring& folder() const { return folder_; }

  // Moves every file the run wrote beside the destination, the workbook itself
  // last, each replacing a file of its name. False when the run wrote no
  // workbook (the old destination stays); a failed rename is a level-1 error.
  bool commit();

private:
  plat::private_temp_folder staging_;
  std::wstring destination_;
  std::wstring folder_;
  std::wstring path_;
};
