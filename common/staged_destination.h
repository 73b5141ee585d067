// The private place where a run builds a workbook that a DAO engine writes in
// place (.xls): a hidden folder of mode 0700 beside the destination, on the same
// file system, so that the destination is touched only by the final rename and
// every other way out removes the folder with whatever the run put into it. The
// folder is locked while the run holds it, so a later run can tell the folder
// of a killed run (and remove it) from one in use.
#pragma once

#include "platform/files.h"

#include <string>

class tk_exception;

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
  // last, each replacing a file of its name. Every file takes the mode and
  // group of the workbook it replaces (a new workbook: 0666 less the umask).
  // The set goes in whole or not at all: every file is made ready and every
  // name checked before the first rename, the files replaced stay in the
  // folder until the last rename is done, and a rename that still fails puts
  // them back, so every file beside the destination is as it was. False when
  // the run wrote no workbook (the old destination stays); a failure is a
  // level-1 error.
  bool commit();

  // Rethrows an error of a run to `destination` (the one being handled) in
  // the user's terms: the hidden staging folders beside the destination (an
  // .xls run's and zip's) become the destination's folder wherever the report
  // names them, and zip's package in its folder the destination itself.
  [[noreturn]] static void rethrow_in_user_terms(const std::wstring& destination, const tk_exception& e);

  // Removes the staging folders beside the destination (.xls and .xlsx runs')
  // whose run is gone: killed or crashed, so it never removed them itself.
  static void remove_abandoned(const std::wstring& destination);

private:
  plat::private_temp_folder staging_;
  std::wstring destination_;
  std::wstring folder_;
  std::wstring path_;
};
