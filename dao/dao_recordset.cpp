// The DAO recordset: rows appended through AddNew, Collect and Update, rows read
// as dao_record. A row is pending between AddNew and Update; a failure between
// them leaves it pending, and the next AddNew drops it.
#include "dao/dao_recordset.h"

#include "TK/tk_log.h"
#include "dao/dao_args.h"
#include "dao/dao_bstr.h"
#include "dao/dao_database.h"
#include "dao/dao_exception.h"

namespace {

constexpr std::uint32_t record_too_large = 0x10000u + 3047;

// The types a DAO column cannot hold, and the one each is stored as.
struct widening {
  VARTYPE from;
  VARTYPE to;
  const char* log;
};
constexpr widening widenings[] = {
  {VT_I8, VT_R8, "Converting BIGINT value to double"},
  {VT_UI8, VT_R8, "Converting BIGINT value to double"},
  {VT_UI2, VT_I4, "Converting VT_UI2 value to integer"},
  {VT_UI4, VT_R8, "Converting VT_UI4 value to double"},
  {VT_I1, VT_I2, "Converting VT_I1 value to short"},
};

const widening* widening_of(VARTYPE vt)
{
  for (const widening& w : widenings)
    if (w.from == vt)
      return &w;
  return nullptr;
}

bool needs_valid_variant(VARTYPE vt)
{
  return widening_of(vt) != nullptr;
}

} // namespace

dao_recordset::dao_recordset(dao_database* owner, const std::wstring& name, DAORecordset* recordset,
                             DAOTableDef* table)
    : udb_recordset(owner, name, true), recordset_(recordset), table_(table)
{
  tk_log_message(2, L"dao_recordset::dao_recordset(%s)", name);
  if (!recordset_)
    throw tk_mail_assertion("dao_recs", 46);
  if (table_) {
    LONG count = 0;
    dao_check(table_->get_RecordCount(&count));
    tk_log_message(2, "Got records count: %d", count);
    record_count_ = static_cast<std::uint64_t>(count < 0 ? 0 : count);
    init_schema(table_.get());
    init_indexes(table_.get());
  }
  dao_check(recordset_->get_EOF(&eof_));
  tk_log_message(2, "dao_recordset::dao_recordset - END");
}

dao_recordset::dao_recordset(dao_database* owner, const std::wstring& name, const std::wstring& sql,
                             DAORecordset* recordset, DAOQueryDef* query, std::uint32_t record_count)
    : udb_recordset(owner, name, sql, true), recordset_(recordset), query_(query)
{
  tk_log_message(2, L"dao_recordset::dao_recordset(%s)", name);
  if (!recordset_)
    throw tk_mail_assertion("dao_recs", 78);
  if (query_) {
    record_count_ = record_count;
    tk_log_message(2, "Got records count: %d", record_count);
    init_schema(query_.get());
  }
  dao_check(recordset_->get_EOF(&eof_));
  tk_log_message(2, "dao_recordset::dao_recordset - END");
}

dao_recordset::~dao_recordset()
{
  tk_log_message(2, "dao_recordset::dtor");
  current_.reset();
  recordset_->Close();  // non-null: the constructors made sure
}

void dao_recordset::put_value(const t_ftd& column, const udb_field& field)
{
  const dao_bstr name(column.name);
  const VARIANT name_arg = dao_text_arg(name);
  const VARTYPE vt = field.get_type();
  tk_log_message(2, L"\tAdd field '%s', type=%08X (value=%s)", column.name, vt, field.to_wstring());
  try {
    if (column.not_null && (vt == VT_EMPTY || vt == VT_NULL)) {
      tk_log_message(1, "Got NULL value for not null field");
      const ole_variant empty = ole_variant::from_string("", column.vartype);
      dao_check(recordset_->put_Collect(name_arg, empty.get_variant()));
    } else if (needs_valid_variant(vt)) {
      dao_check(recordset_->put_Collect(name_arg, dao_get_valid_variant(field).get_variant()));
    } else {
      if (vt == VT_DATE) {
        std::string text = field.to_string();
        if (const auto at = text.find("0000-00-00"); at != std::string::npos) {
          tk_log_message(2, "Null date has been found");
          text.replace(at, 10, "1899-12-30");
        }
        tk_log_message(2, "Got date: '%s'", text);
      }
      dao_check(recordset_->put_Collect(name_arg, field.get_variant()));
    }
  } catch (const dao_exception& e) {
    if (e.get_code() != record_too_large && e.get_message() != "Record is too large.")
      throw;
    tk_log_message(2, "Record is too large.");
    VARIANT empty;
    VariantInit(&empty);
    dao_check(recordset_->put_Collect(name_arg, empty));
  }
}

void dao_recordset::append_record(const udb_record& record, std::uint32_t /*count*/)
{
  tk_log_message(2, "dao_recordset::append_record");
  dao_check(recordset_->AddNew());
  tk_log_message(2, "\tAdd blank DAO record");
  if (record.size() != schema_.size())
    throw tk_exception(std::string("The structures of data source does not conform to the destination table."),
                       tk_level_recoverable);
  for (std::size_t i = 0; i < record.size(); ++i)
    put_value(*schema_[i], *record[i]);
  ++record_count_;
  tk_log_message(2, "Commit new record into database");
  dao_check(recordset_->Update(plat::dao::db_update_regular, VARIANT_FALSE));
  tk_log_message(2, "dao_recordset::append_record - END");
}

udb_record* dao_recordset::get_item()
{
  tk_log_message(1, "dao_recordset::get_item");
  if (!recordset_)
    throw tk_mail_assertion("dao_recs", 120);
  current_.reset();
  ole_com_ptr<DAOFields> fields;
  dao_check(recordset_->get_Fields(fields.put()));
  dao_require(fields.get());
  tk_log_message(1, "dao_recordset::get_item - END");
  current_ = std::make_unique<dao_record>(fields.get());
  return current_.get();
}

bool dao_recordset::is_eof()
{
  return eof_ != 0;
}

void dao_recordset::next()
{
  if (!recordset_)
    throw tk_mail_assertion("dao_recs", 157);
  dao_check(recordset_->MoveNext());
  dao_check(recordset_->get_EOF(&eof_));
}

void dao_recordset::prev()
{
  if (!recordset_)
    throw tk_mail_assertion("dao_recs", 168);
  VARIANT_BOOL bof = VARIANT_FALSE;
  dao_check(recordset_->get_BOF(&bof));
  if (bof == 0)
    dao_check(recordset_->MovePrevious());
}

void dao_recordset::reset()
{
  if (!recordset_)
    throw tk_mail_assertion("dao_recs", 181);
  if (record_count_ != 0)
    dao_check(recordset_->MoveFirst());
}

ole_variant dao_get_valid_variant(const ole_variant& value)
{
  tk_log_message(1, "dao_get_valid_variant");
  tk_log_message(1, "ole_variant::get_type");
  const widening* found = widening_of(value.get_type());
  if (found == nullptr)
    return ole_variant();
  tk_log_message(1, found->log);
  const VARTYPE target = found->to;
  ole_variant result = ole_variant::from_string(value.to_string(), target);
  tk_log_message(1, "\t>>> %s", result.to_string());
  return result;
}
