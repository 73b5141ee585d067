// The three output formats: one descriptor each, with the name the user picks,
// the connect string of the DAO Excel driver, a note and the wrap flag; the two
// .xls descriptors also restyle the workbooks of their format. The converter
// owns the descriptors; the process-wide table only borrows them, and
// the wrap flag of all three always equals the converter's wrap_text.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

struct IStream;

// format_version values.
inline constexpr std::uint32_t xls_format_excel_50 = 0;
inline constexpr std::uint32_t xls_format_excel_2000 = 1;
inline constexpr std::uint32_t xls_format_excel_2010 = 2;
inline constexpr std::uint32_t xls_format_count = 3;
// No format given yet (the console program before its options are read).
inline constexpr std::uint32_t xls_format_not_given = 0xFFFFFFFFu;

class xls_engine {
public:
  virtual ~xls_engine() = default;
  xls_engine(const xls_engine&) = delete;
  xls_engine& operator=(const xls_engine&) = delete;

  bool wrap = false;
  const std::wstring name;
  const std::wstring connect_string;
  const std::string note;
  // Rows a worksheet of the format holds, as the format page tells the user.
  const std::uint32_t max_rows;
  // Data rows below the header row: what a table copy may write into one sheet.
  const std::uint32_t max_data_rows;
  // Characters of UTF-16 text one cell keeps.
  const std::uint32_t max_text_units;

  // Writes the format's empty workbook (get_template) to the file, replacing it.
  // Level-1 errors when the file cannot be opened or written; an internal error
  // for a format without one.
  virtual void write_empty_xls(const std::wstring& path) const;
  // Restyles an open workbook stream of this format in place; throws (a
  // tk_exception naming the fault) when the stream is not one, having written
  // nothing.
  virtual void do_patch(IStream* stream) = 0;
  // The format's empty workbook, a compound file of get_template_size() bytes;
  // null for a format without one.
  virtual const std::uint8_t* get_template() const = 0;
  virtual std::size_t get_template_size() const = 0;

  // Restyles the workbook file at `path` in place. False on any failure, with
  // the reason in the log and in `error` (when given); a file that is not a
  // workbook of this format keeps every byte.
  bool patch(const std::wstring& path, std::string* error = nullptr);

protected:
  xls_engine(std::wstring name_, std::wstring connect, std::string note_, std::uint32_t max_rows_,
             std::uint32_t max_data_rows_, std::uint32_t max_text_units_);
};

class xls_engine_50 : public xls_engine {
public:
  xls_engine_50();
  void do_patch(IStream* stream) override;
  const std::uint8_t* get_template() const override;
  std::size_t get_template_size() const override;
};

class xls_engine_80 : public xls_engine {
public:
  xls_engine_80();
  void do_patch(IStream* stream) override;
  const std::uint8_t* get_template() const override;
  std::size_t get_template_size() const override;
};

class xls_engine_2010 : public xls_engine {
public:
  xls_engine_2010();
  void do_patch(IStream* stream) override;
  const std::uint8_t* get_template() const override;
  std::size_t get_template_size() const override;
};

using xls_engine_table = std::array<std::unique_ptr<xls_engine>, xls_format_count>;

// The descriptors of the living converter, indexed by format_version; null
// while no converter exists.
extern std::array<xls_engine*, xls_format_count> xls_engines;
