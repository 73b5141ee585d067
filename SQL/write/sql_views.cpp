// Views on a MySQL target: each SELECT text rewritten into MySQL's dialect with
// the names the tables and fields were created under, then created on its own,
// so one refused view leaves the others standing. Rewriting never touches
// quoted text: a literal or a quoted name keeps every character.
#include "SQL/write/sql_views.h"

#include "SQL/sql_engi.h"
#include "SQL/write/sql_db_write.h"
#include "TK/tk_error_reporter.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_vali.h"
#include "platform/case_fold.h"

#include <cwctype>
#include <string_view>
#include <vector>

namespace {

// Follows a text one character at a time through its quoted runs: '...' and
// "..." end at a quote neither doubled nor after a backslash (the server writes
// view text with \' in it), `...` only at a backquote not doubled. A doubled
// quote needs no rule of its own: it closes the run and opens it again at once.
class quote_tracker {
public:
  explicit quote_tracker(std::wstring_view quotes) : quotes_(quotes) {}

  // Whether `c` belongs to quoted text, its quotes included.
  bool step(wchar_t c)
  {
    if (closing_ == 0) {
      if (quotes_.find(c) == std::wstring_view::npos)
        return false;
      closing_ = c;
    } else if (escaped_) {
      escaped_ = false;
    } else if (c == L'\\' && closing_ != L'`') {
      escaped_ = true;
    } else if (c == closing_) {
      closing_ = 0;
    }
    return true;
  }

private:
  std::wstring_view quotes_;
  wchar_t closing_ = 0;
  bool escaped_ = false;
};

constexpr std::wstring_view all_quotes = L"'\"`";

// The positions of a text that lie inside quotes: no rule reads or rewrites there.
std::vector<bool> quoted_positions(const std::wstring& text)
{
  std::vector<bool> inside(text.size(), false);
  quote_tracker quotes(all_quotes);
  for (std::size_t i = 0; i < text.size(); ++i)
    inside[i] = quotes.step(text[i]);
  return inside;
}

bool is_word_char(wchar_t c)
{
  return c == L'_' || c == L'$' || std::iswalnum(static_cast<wint_t>(c)) != 0;
}

// The next place from `start` where `search` stands outside quotes as a whole
// word: strlen( is no len(, getdate_x no getdate. A search that ends in "("
// ends its word itself.
std::size_t find_word(const std::wstring& text, const std::vector<bool>& quoted, std::wstring_view search,
                      std::size_t start)
{
  for (std::size_t pos = start; pos + search.size() <= text.size(); ++pos) {
    const std::size_t end = pos + search.size();
    if (!quoted[pos] && (pos == 0 || !is_word_char(text[pos - 1])) &&
        (end == text.size() || !is_word_char(search.back()) || !is_word_char(text[end])) &&
        plat::equal_no_case(std::wstring_view(text).substr(pos, search.size()), search))
      return pos;
  }
  return std::wstring::npos;
}

// The arguments of the call whose "(" is just before `start`: the texts between
// its commas at depth 0, trimmed, and where its ")" stands (npos: none).
std::vector<std::wstring> call_arguments(const std::wstring& text, const std::vector<bool>& quoted,
                                         std::size_t start, std::size_t& close)
{
  std::vector<std::wstring> arguments(1);
  int depth = 0;
  close = std::wstring::npos;
  for (std::size_t i = start; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (!quoted[i] && c == L'(') {
      ++depth;
    } else if (!quoted[i] && c == L')') {
      if (depth-- == 0) {
        close = i;
        break;
      }
    } else if (!quoted[i] && c == L',' && depth == 0) {
      arguments.emplace_back();
      continue;
    }
    arguments.back() += c;
  }
  for (std::wstring& argument : arguments) {
    const std::size_t first = argument.find_first_not_of(L' ');
    argument = first == std::wstring::npos ? std::wstring()
                                           : argument.substr(first, argument.find_last_not_of(L' ') - first + 1);
  }
  return arguments;
}

// One pass per rule, in table order, outside quoted text. A null replacement is
// DATEDIFF: another dialect's DATEDIFF(day, a, b) counts from a to b, MySQL's
// DATEDIFF(b, a) does. A one-comma rule renames only calls of two arguments,
// since the MySQL functions take no other form.
struct function_rule {
  std::wstring_view search;
  const wchar_t* replacement;
  bool one_comma_only;
};

constexpr function_rule function_rules[] = {
    {L"isnull", L"ifnull", true},     {L"getdate", L"curdate", false},
    {L"len(", L"length(", false},     {L"datediff(", nullptr, false},
    {L"dateadd", L"date_add", true},  {L"replicate", L"repeat", true},
};

void apply_rule(std::wstring& text, const function_rule& rule)
{
  std::vector<bool> quoted = quoted_positions(text);
  std::size_t pos = find_word(text, quoted, rule.search, 0);
  while (pos != std::wstring::npos) {
    if (rule.replacement == nullptr) {
      const std::size_t start = pos + rule.search.size();
      std::size_t close = 0;
      const std::vector<std::wstring> arguments = call_arguments(text, quoted, start, close);
      if (arguments.size() == 3 && close != std::wstring::npos) {
        const std::wstring swapped = arguments[2] + L", " + arguments[1];
        tk_log_message(1, "Swap DATEDIFF arguments at pos=%d", start);
        text.replace(start, close - start, swapped);
        pos = start + swapped.size();
      } else {
        pos = start;
      }
    } else if (!rule.one_comma_only || sql_view_converter::check_isnull_for_replace(text, pos)) {
      const std::wstring_view replacement(rule.replacement);
      text.replace(pos, rule.search.size(), replacement);
      pos += replacement.size();
    } else {
      pos += rule.search.size();
    }
    quoted = quoted_positions(text);
    pos = find_word(text, quoted, rule.search, pos);
  }
}

// "[" and "]" outside string literals and quoted names become backquotes; a
// bracket next to a name that is in backquotes already (a renamed one) goes, so
// the name is not quoted twice.
std::wstring brackets_to_backquotes(const std::wstring& text)
{
  std::wstring out;
  quote_tracker quotes(all_quotes);
  bool in_brackets = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (in_brackets) {
      if (c == L']') {
        out += L'`';
        in_brackets = false;
      } else {
        out += c;
      }
    } else if (quotes.step(c)) {
      out += c;
    } else if (c == L'[') {
      if (i + 1 < text.size() && text[i + 1] == L'`')
        continue;
      out += L'`';
      in_brackets = true;
    } else if (c == L']') {
      if (out.empty() || out.back() != L'`')
        out += L'`';
    } else {
      out += c;
    }
  }
  return out;
}

} // namespace

std::wstring collapse_spaces(const std::wstring& text)
{
  std::wstring out;
  out.reserve(text.size());
  quote_tracker quotes(L"'\"");
  bool blank = false;
  for (const wchar_t c : text) {
    if (quotes.step(c)) {
      out += c;
      blank = false;
    } else if (c == L'\r' || c == L'\n' || c == L'\t' || c == L' ') {
      if (!blank)
        out += L' ';
      blank = true;
    } else {
      out += c;
      blank = false;
    }
  }
  return out;
}

bool sql_view_converter::check_isnull_for_replace(const std::wstring& text, std::size_t position)
{
  tk_log_message(1, L"sql_view_converter::check_isnull_for_replace(%s,%d)", text,
                 position == std::wstring::npos ? -1 : static_cast<long long>(position));
  if (position >= text.size())
    return false;
  int depth = 0;
  int commas = 0;
  for (std::size_t i = position + 6; i < text.size(); ++i) {
    if (text[i] == L'(') {
      ++depth;
    } else if (text[i] == L',') {
      ++commas;
    } else if (text[i] == L')') {
      if (--depth == 0)
        break;
    }
  }
  return commas == 1;
}

std::wstring sql_write_database::refine_view_in(const std::wstring& text) const
{
  tk_log_message(2, L"sql_database::refine_view_in(%s)", text);
  std::wstring work = names_map_.do_global_replace1(collapse_spaces(text), L"`", L"`");
  tk_log_message(2, L"After do_global_replace: result=%s", work);
  work = brackets_to_backquotes(work);
  tk_log_message(2, L"After replacing []: result=%s", work);
  for (const function_rule& rule : function_rules)
    apply_rule(work, rule);
  return work + L";";
}

void sql_write_database::create_views(const udb_views& views)
{
  tk_log_message(2, "sql_database::create_views");
  sql_engine& engine = engine_;
  std::vector<std::wstring> view_names;
  for (const udb_view& view : views)
    view_names.push_back(view.first);
  const std::unique_ptr<udb_validator> names = engine.create_tn_validator(view_names, {});

  // The views of the database itself may be the list given here.
  const udb_views copy = views;
  for (const auto& [name, sql] : copy) {
    tk_log_message(2, L"Processing '%s'", name);
    tk_log_message(2, L"\t'%s'", sql);
    try {
      // A text that starts with a blank, a comment or WITH is not taken for a view.
      if (sql.size() < 6 || !plat::equal_no_case(std::wstring_view(sql).substr(0, 6), L"select")) {
        tk_log_message(2, "Skip non-select query");
        continue;
      }
      std::wstring target = name;
      if (!names->is_acceptable(target)) {
        target = names->get_safe_name(name);
        names_map_.add_tn_mapping(name, target);
        tk_log_message(2, L"Store generated view name '%s'", target);
        names->add_existing_name(target);
      }
      query(L"CREATE OR REPLACE VIEW " + engine.get_safe_name(target) + L" AS " +
            refine_view_in(sql));
    } catch (const tk_exception& e) {
      tk_log_message(2, "Error while creating view:\n%s\n", e.what());
      tk_report_item_failure(L"View '" + name + L"'", e);
    }
  }
}
