// The generic converter: the settings every conversion into a database file has
// beyond the converter base (the selected tables and queries, the views and the
// available queries, three generic options), and their exchange with a profile.
#pragma once

#include "TK/tk_convr.h"
#include "UDB/udb_prof.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class udb_converter : public tk_converter {
public:
  // A name and its SELECT text; a table is a pair with an empty text.
  using name_text = std::pair<std::wstring, std::wstring>;

  udb_converter() = default;
  ~udb_converter() override = default;

  // Appends the profile's lists to the converter's and takes its generic
  // settings; a bad "logfile" raises set_logfile's level-1 error, and what was
  // read before it stays. Returns true.
  bool load_profile(const udb_profile& profile);
  // Adds the converter's lists and generic settings to the profile. Returns true.
  bool store_profile(udb_profile& profile) const;

  std::vector<name_text> selected_queries;
  std::vector<name_text> selected_views;
  std::vector<name_text> available_queries;
  std::uint32_t mode = 0;
  bool only_definitions = false;
  bool skip_indexes = false;
};
