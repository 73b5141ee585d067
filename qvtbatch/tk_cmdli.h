// The command-line cursor: walks the program's arguments one by one and names
// each by the first option whose prefix it starts with. An argument that no
// option names is kept for the usage report; it never stops the walk.
#pragma once

#include <array>
#include <cstdint>

// One option: its identifier and the prefix an argument starts with. A table
// of options ends with the entry {0, ""}, whose empty prefix names nothing.
struct tk_cmd_option {
  int id;
  const char* prefix;
};

class TCmdLine {
public:
  virtual ~TCmdLine() = default;
  // Steps to the next argument; there must be a current one.
  virtual void next() = 0;
  virtual bool has_more() const = 0;

  // The current argument's option identifier, -1 when no option names it.
  int get_id() const
  {
    require_current();
    return id_;
  }
  // The current argument behind the option's prefix (the whole argument when no
  // option names it).
  const char* get_value() const
  {
    require_current();
    return value_;
  }

protected:
  TCmdLine() = default;
  // An internal error when the walk has passed the last argument.
  void require_current() const;

  const char* value_ = nullptr;
  int id_ = -1;
};

class ansi_cmd_line : public TCmdLine {
public:
  // How many unrecognised arguments are kept for the report.
  static constexpr std::uint32_t max_unknown = 20;

  // Stands on argv[1]; the table is borrowed and must outlive the cursor.
  ansi_cmd_line(int argc, const char* const* argv, const tk_cmd_option* table);

  void next() override;
  bool has_more() const override { return remaining_ > 0; }

  // Every unrecognised argument met so far, counted beyond the kept ones too.
  std::uint32_t get_unknown_count() const { return unknown_count_; }
  // The i-th kept unrecognised argument (i below max_unknown and the count).
  const char* get_unknown(std::uint32_t i) const;

private:
  void parse_current(const char* argument);

  const tk_cmd_option* table_;
  std::uint32_t unknown_count_ = 0;
  std::array<const char*, max_unknown> unknown_{};
  const char* const* cursor_;
  int remaining_;
};
