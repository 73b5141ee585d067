// The converter of the process: every setting of a conversion, their registry,
// profile and destination checks, and the run itself. A run reports every
// failure itself through its front end, always ends with finished set, and
// records in reached_end whether it got through all its entries and wrote its
// workbook (when it had anything to write). A stopped run reports nothing.
#pragma once

#include "TK/tk_regk.h"
#include "TK/tk_singl.h"
#include "UDB/udb_prof.h"
#include "common/mysql_conv.h"
#include "common/xls_conv.h"

#include <string>
#include <vector>

class qorvant_converter : public xls_converter,
                          public mysql_converter_impl,
                          public tk_serializer,
                          public tk_singleton<qorvant_converter> {
public:
  // The wizard's converter loads its settings from the registry and stores them
  // again when destroyed; the console program's starts with no format given.
  explicit qorvant_converter(qvt_program program_ = qvt_program::console);
  ~qorvant_converter() override;

  // The run, telling its front end what it does. Throws only qvt_process_exit,
  // when a report ends the program (the run's objects are closed by then).
  void operator()() override;
  bool test_query(const std::wstring& sql) override;

  // Registry load (false) or store (true); true when the key opened and every
  // value was read or written.
  bool serialize(bool store);

  // Reads the profile file and applies it; false when it does not read as a
  // profile. A missing file raises the profile's level-1 error.
  bool load_profile(const std::wstring& path);
  // Moves the user's queries behind the profile's entries, then takes the
  // profile's lists and settings.
  bool load_profile(udb_profile& profile);
  bool store_profile(const std::wstring& path);

  // The base tables of the source database.
  void get_all_tables(std::vector<std::wstring>& names);

  // The destination checks. An existing file is kept: a run replaces it only
  // once its new workbook is complete.
  void check_dest();

  bool blob_to_text = false;
  bool open_on_exit = false;
  // The wizard's: the folder where Load or Save Settings last took a profile,
  // kept with the settings for the next start; empty for none.
  std::wstring profile_folder;
  // The last run converted every entry (reporting what failed in single
  // records or entries) and wrote its workbook, if it made any sheet.
  bool reached_end = false;
};

// Level-1 errors for a destination that cannot be written: a folder (or a path
// with no file name before its extension), a read-only file, a missing folder,
// a folder the user may not write to.
void common_check_dest(const std::wstring& path);
