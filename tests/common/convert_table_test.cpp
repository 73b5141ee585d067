// The table copy between a listed source and a recording destination: how each
// value is rewritten per format, and what a refused record does to the copy.
// The destination is a fake because a real one cannot refuse record 7 on demand.
#include "common_test_support.h"

#include "UDB/udb_db.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "dao/dao_engine.h"
#include "common/xls_conv.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

using namespace common_test;

namespace {

using row = std::vector<ole_variant>;

// A source that lends its rows one by one.
class listed_rows : public udb_recordset {
public:
  explicit listed_rows(std::vector<row> rows) : udb_recordset(L"listed"), rows_(std::move(rows))
  {
    record_count_ = rows_.size();
  }
  void append_record(const udb_record&, std::uint32_t) override { throw tk_mail_assertion("test", 1); }
  void reset() override
  {
    position_ = 0;
    load();
  }
  bool is_eof() override { return position_ >= rows_.size(); }
  udb_record* get_item() override { return is_eof() ? nullptr : &current_; }
  void next() override
  {
    ++position_;
    load();
  }

private:
  void load()
  {
    current_.reset();
    if (position_ < rows_.size()) {
      for (std::size_t i = 0; i < rows_[position_].size(); ++i)
        current_.emplace_back(L"c" + std::to_wstring(i), 7u, rows_[position_][i], false, false);
    }
  }

  std::vector<row> rows_;
  std::size_t position_ = 0;
  udb_record current_;
};

// What reached the destination: per appended record its values, and the field
// count the copy announced.
struct sheet_log {
  std::vector<row> rows;
  std::vector<std::uint32_t> counts;
  std::vector<std::uint32_t> sizes;  // of the first field
  std::wstring created;
};

class recording_sheet : public udb_recordset {
public:
  recording_sheet(sheet_log& log, std::function<void(std::size_t)> refuse)
      : udb_recordset(L"sheet"), log_(log), refuse_(std::move(refuse))
  {
  }
  void append_record(const udb_record& record, std::uint32_t count) override
  {
    ++attempts_;
    if (refuse_)
      refuse_(attempts_);
    row values;
    for (const auto& field : record)
      values.push_back(*field);
    log_.rows.push_back(values);
    log_.counts.push_back(count);
    log_.sizes.push_back(record.empty() ? 0 : record[0]->get_stored_size());
  }

private:
  sheet_log& log_;
  std::function<void(std::size_t)> refuse_;
  std::size_t attempts_ = 0;
};

class recording_book : public udb_database {
public:
  recording_book(sheet_log& log, std::function<void(std::size_t)> refuse = {})
      : udb_database(L"book", 0, false), log_(log), refuse_(std::move(refuse))
  {
  }
  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema&,
                                              const udb_indexes&) override
  {
    log_.created = name;
    return std::make_unique<recording_sheet>(log_, refuse_);
  }
  std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&,
                                           std::uint32_t) override
  {
    return nullptr;
  }
  std::unique_ptr<udb_recordset> get_table(const std::wstring&, std::uint32_t) override
  {
    return nullptr;
  }
  bool test_query(const std::wstring&) override { return false; }

private:
  sheet_log& log_;
  std::function<void(std::size_t)> refuse_;
};

struct table_copier : xls_converter {
  table_copier() : xls_converter(qvt_program::console) { set_front_end(front); }
  using xls_converter::set_current_name;
  recording_front_end front;
};

ole_variant bytes(std::initializer_list<unsigned char> b) { return ole_variant(ole_variant::byte_vector(b)); }

std::wstring text_of(const ole_variant& v) { return v.to_wstring(); }

} // namespace

TEST(TableCopy, ValuesAreRewrittenByTheRulesOfEachFormat)
{
  captured_handler errors;
  const std::wstring folded_pair = std::wstring(253, L'x') + L"\r\nyyy";
  const std::wstring pair_at_cut = std::wstring(253, L'x') + L"\U0001F600z";
  const std::wstring long_text(40000, L'q');
  const std::wstring exact(254, L'e');
  const std::wstring three_hundred(300, L'h');
  const struct {
    const char* what;
    ole_variant value;
    std::wstring excel_50;  // the text a format keeps
    std::wstring later;     // Excel 2000 and 2010-2016
  } texts[] = {
      {"line ends fold", ole_variant(std::wstring(L"a\r\nb\rc\n")), L"a\nb\nc\n", L"a\nb\nc\n"},
      {"254 stay whole", ole_variant(exact), exact, exact},
      {"300 are cut for Excel 5.0 only", ole_variant(three_hundred), std::wstring(254, L'h'),
       three_hundred},
      {"40,000 are cut everywhere", ole_variant(long_text), std::wstring(254, L'q'),
       std::wstring(32766, L'q')},
      {"CR LF across the cut folds first", ole_variant(folded_pair), std::wstring(253, L'x') + L"\n",
       std::wstring(253, L'x') + L"\nyyy"},
      {"a surrogate pair is never split", ole_variant(pair_at_cut), std::wstring(253, L'x'),
       pair_at_cut},
      {"bytes are marked", bytes({1, 2, 3}), L"<Binary Field>", L"<Binary Field>"},
      {"an empty text stays", ole_variant(std::wstring()), L"", L""},
  };
  for (const std::uint32_t format : {0u, 1u, 2u}) {
    row values;
    for (const auto& c : texts)
      values.push_back(c.value);
    values.push_back(ole_variant());    // NULL
    values.push_back(ole_variant(42));  // a number
    values.push_back(ole_variant(ole_date(SYSTEMTIME{2024, 2, 4, 29, 13, 14, 15, 0})));
    sheet_log log;
    recording_book book(log);
    listed_rows source({values});
    table_copier copier;
    copier.format_version = format;
    copier.set_current_name(L"t");
    // The destination's columns as a run makes them: Excel 5.0 has no date column.
    udb_schema schema(format != 2);
    for (std::size_t i = 0; i < values.size(); ++i) {
      const VARTYPE type = i + 1 == values.size() && format != 0 ? VT_DATE : VT_BSTR;
      schema.emplace_back(0u, L"c" + std::to_wstring(i), type, false, false, ole_variant(), 0u, std::wstring());
    }
    copier.convert_table(&book, &source, L"sheet t", schema);

    ASSERT_EQ(log.rows.size(), 1u);
    const row& got = log.rows[0];
    ASSERT_EQ(got.size(), std::size(texts) + 3);
    for (std::size_t i = 0; i < std::size(texts); ++i) {
      EXPECT_EQ(got[i].get_type(), VT_BSTR) << texts[i].what;
      EXPECT_EQ(text_of(got[i]), format == 0 ? texts[i].excel_50 : texts[i].later)
          << texts[i].what << ", format " << format;
    }
    EXPECT_EQ(got[std::size(texts)].get_type(), VT_EMPTY);
    EXPECT_EQ(got[std::size(texts) + 1].get_type(), VT_I4);
    EXPECT_EQ(got[std::size(texts) + 1].to_long(), 42);
    // Excel 5.0 gets the date as its text; a date column takes the date.
    EXPECT_EQ(got[std::size(texts) + 2].get_type(), format == 0 ? VT_BSTR : VT_DATE);
    EXPECT_EQ(text_of(got[std::size(texts) + 2]), L"2024-02-29 13:14:15");
    EXPECT_EQ(log.created, L"sheet t");
    EXPECT_EQ(copier.record_count.load(), 1u);
    EXPECT_EQ(copier.records_done.load(), 1u);
  }
  EXPECT_TRUE(errors.front.calls.empty());
}

TEST(TableCopy, OnlyTheColumnsWithinTheLimitAreCopied)
{
  captured_handler errors;
  sheet_log log;
  recording_book book(log);
  listed_rows source({{ole_variant(1), ole_variant(2), ole_variant(3)}, {ole_variant(4), ole_variant(5), ole_variant(6)}});
  table_copier copier;
  copier.format_version = 1;
  copier.column_limit = 2;
  copier.set_current_name(L"t");
  copier.convert_table(&book, &source, L"t", udb_schema());
  ASSERT_EQ(log.rows.size(), 2u);
  EXPECT_EQ(log.rows[1].size(), 2u);
  EXPECT_EQ(log.rows[1][1].to_long(), 5);
  EXPECT_EQ(log.counts, (std::vector<std::uint32_t>{2, 2}));
  EXPECT_EQ(log.sizes, (std::vector<std::uint32_t>{7, 7}));
  EXPECT_EQ(copier.front.calls, std::vector<std::string>{"entry_started t 2"});
}

TEST(TableCopy, RefusedRecordsAreReportedWithTheirNumber)
{
  std::vector<row> ten;
  for (int i = 1; i <= 10; ++i)
    ten.push_back({ole_variant(i)});
  const struct {
    const char* what;
    std::function<void(std::size_t)> refuse;
    std::size_t written;        // records that reached the sheet
    std::uint64_t done;         // records_done at the end
    std::string report;         // the handler's report, if any
    bool passes_on;
  } cases[] = {
      // The DAO engine refuses one record: reported, counted, the copy goes on.
      {"DAO refusal", [](std::size_t n) { if (n == 7) throw dao_exception("dup", 3022); }, 9, 10,
       "report 0 t, record #7: Duplicate field values being used for an unique index were found. "
       "See 'Troubleshooting' article of the product documentation for solution.",
       false},
      // Another recoverable refusal ends the copy, but never silently.
      {"other refusal", [](std::size_t n) { if (n == 7) throw tk_exception("the sheet said no", 0); },
       6, 6, "report 0 t, record #7: the sheet said no", false},
      // What ends the entry leaves the copy as it is.
      {"error", [](std::size_t n) { if (n == 3) throw tk_exception("broken", 1); }, 2, 2, "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    captured_handler errors;
    sheet_log log;
    recording_book book(log, c.refuse);
    listed_rows source(ten);
    table_copier copier;
    copier.format_version = 1;
    copier.set_current_name(L"t");
    if (c.passes_on)
      EXPECT_THROW(copier.convert_table(&book, &source, L"t", udb_schema()), tk_exception);
    else
      copier.convert_table(&book, &source, L"t", udb_schema());
    EXPECT_EQ(log.rows.size(), c.written);
    EXPECT_EQ(copier.records_done.load(), c.done);
    EXPECT_EQ(errors.front.calls, c.report.empty() ? std::vector<std::string>{}
                                                   : std::vector<std::string>{c.report});
  }
}

TEST(TableCopy, WithoutADestinationDatabaseTheCopyIsAnInternalError)
{
  captured_handler errors;
  listed_rows source({});
  table_copier copier;
  copier.format_version = 2;
  EXPECT_THROW(copier.convert_table(nullptr, &source, L"t", udb_schema()), tk_mail_assertion);
}
