// Fields and records: sizes measured from the values, name look-ups that ignore
// case and allocate nothing, and a record's ownership of its fields.
#include "UDB/udb_field.h"
#include "udb_log_capture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

// Counts the heap allocations of this thread while a test asks for it.
namespace {
thread_local bool count_allocations = false;
thread_local long allocations = 0;
} // namespace

void* operator new(std::size_t size)
{
  if (count_allocations)
    ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size))
    return p;
  throw std::bad_alloc();
}
// Every form is replaced, so that each delete meets the malloc of its own new:
// the sanitizer's nothrow new would not come through the one above.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
  if (count_allocations)
    ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size)
{
  return operator new(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
  return operator new(size, tag);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept
{
  std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept
{
  std::free(p);
}
// Kept out of line: inlined into a delete-expression, the free would look to the
// compiler like a mismatch with the new-expression.
[[gnu::noinline]] void operator delete(void* p) noexcept
{
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept
{
  std::free(p);
}

namespace {

udb_field field(const std::wstring& name, std::uint32_t size, const ole_variant& value)
{
  return udb_field(name, size, value, false, false);
}

// An engine field that reports its column's type while it holds no value.
class typed_field : public udb_field {
public:
  typed_field(const std::wstring& name, std::uint32_t size, VARTYPE column_type)
      : udb_field(name, size, ole_variant(), true, true), column_type_(column_type)
  {
  }
  VARTYPE get_type() const override
  {
    return ole_variant::get_type() == VT_EMPTY ? column_type_ : ole_variant::get_type();
  }

private:
  VARTYPE column_type_;
};

// Counts its own destructions.
class counted_field : public udb_field {
public:
  explicit counted_field(int& deaths) : deaths_(deaths) {}
  ~counted_field() override { ++deaths_; }

private:
  int& deaths_;
};

} // namespace

TEST(UdbField, SizeIsMeasuredFromTheValueWhereItHasOne)
{
  const struct {
    const char* what;
    ole_variant value;
    std::uint32_t stored;
    std::uint32_t size;
  } cases[] = {
      {"text of three characters", ole_variant(L"abc"), 99, 3},
      {"embedded NUL counted", ole_variant(std::wstring(L"a\0b", 3)), 0, 3},
      {"UTF-16 units", ole_variant(L"\U0001F600x"), 1, 3},
      {"empty text", ole_variant(L""), 7, 0},
      {"byte array of 10", ole_variant(ole_variant::byte_vector(10, 0xAB)), 2, 10},
      {"VT_BLOB", ole_variant::from_string("0xABCD", VT_BLOB), 0, 2},
      {"VT_I4", ole_variant(123456), 4, 4},
      {"VT_R8", ole_variant(1.5), 17, 17},
      {"VT_EMPTY", ole_variant(), 100, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const udb_field f = field(L"f", c.stored, c.value);
    EXPECT_EQ(f.get_size(), c.size);
    EXPECT_EQ(f.get_stored_size(), c.stored);
  }
}

TEST(UdbField, TextTypeWithoutATextValueKeepsTheStoredSize)
{
  const typed_field null_text(L"comment", 255, VT_BSTR);
  EXPECT_EQ(null_text.get_type(), VT_BSTR);
  EXPECT_EQ(null_text.get_size(), 255u);
}

TEST(UdbField, CopyAndValueAssignmentKeepTheColumn)
{
  const udb_field original(L"Name", 40, ole_variant(L"x"), true, true);
  const udb_field copy(original);
  EXPECT_EQ(copy.get_name(), L"Name");
  EXPECT_EQ(copy.get_stored_size(), 40u);
  EXPECT_TRUE(copy.is_not_null());
  EXPECT_TRUE(copy.is_auto_increment());
  EXPECT_EQ(copy.to_wstring(), L"x");

  udb_field reused = copy;
  reused = ole_variant(7);
  EXPECT_EQ(reused.get_type(), VT_I4);
  EXPECT_EQ(reused.get_name(), L"Name");
  EXPECT_EQ(reused.get_stored_size(), 40u);
  EXPECT_TRUE(reused.is_not_null());
  EXPECT_EQ(copy.to_wstring(), L"x");

  const udb_field empty;
  EXPECT_EQ(empty.get_type(), VT_EMPTY);
  EXPECT_TRUE(empty.get_name().empty());
  EXPECT_EQ(empty.get_size(), 0u);
  EXPECT_FALSE(empty.is_not_null() || empty.is_auto_increment());
}

TEST(UdbRecord, NamesMatchIgnoringCase)
{
  udb_record r;
  r.emplace_back(L"ID", 4u, ole_variant(1), false, false);
  r.emplace_back(L"\u00c4nderung", 4u, ole_variant(2), false, false);
  r.emplace_back(L"\u03a3UM", 4u, ole_variant(3), false, false);
  const struct {
    const wchar_t* asked;
    int value;  // 0: not found
  } cases[] = {{L"id", 1}, {L"Id", 1}, {L"\u00e4NDERUNG", 2}, {L"\u03c3um", 3},
               {L"i", 0}, {L"IDs", 0}, {L"", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << c.value);
    EXPECT_EQ(r.find_field(c.asked), c.value != 0);
    EXPECT_EQ(r.get_field(c.asked).to_long(), c.value);
  }
}

TEST(UdbRecord, GetFieldGivesTheFirstMatchOrTheSharedEmptyField)
{
  udb_record r;
  r.emplace_back(L"code", 4u, ole_variant(1), false, false);
  r.emplace_back(L"CODE", 4u, ole_variant(2), false, false);
  EXPECT_EQ(&r.get_field(L"Code"), r[0]);
  EXPECT_EQ(r.find(L"cODE"), r[0]);

  const udb_field& missing = r.get_field(L"nothing");
  EXPECT_EQ(&missing, &udb_record().get_field(L"else"));
  EXPECT_EQ(missing.get_type(), VT_EMPTY);
  EXPECT_TRUE(missing.get_name().empty());
  EXPECT_EQ(missing.get_size(), 0u);
  EXPECT_EQ(r.find(L"nothing"), nullptr);
}

TEST(UdbRecord, TotalSizeCountsOnlyFieldsWithAValue)
{
  udb_record r;
  r.emplace_back(L"s", 1u, ole_variant(L"hello"), false, false);
  r.emplace_back(L"e", 100u, ole_variant(), false, false);
  r.emplace_back(L"i", 4u, ole_variant(5), false, false);
  EXPECT_EQ(r.get_total_size(), 9);

  r.push_back(nullptr);
  r.emplace_back<typed_field>(L"t", 20u, VT_BSTR);  // a NULL text counts its column size
  udb_log_capture log;
  EXPECT_EQ(r.get_total_size(), 29);
  EXPECT_TRUE(log.has("Incorrect field #3"));
  EXPECT_FALSE(r.find_field(L"x"));  // the null entry is passed over
}

TEST(UdbRecord, EachFieldIsDeletedExactlyOnce)
{
  int deaths = 0;
  {
    udb_record r;
    r.emplace_back<counted_field>(deaths);
    r.emplace_back<counted_field>(deaths);
    r.reset();
    EXPECT_EQ(deaths, 2);
    EXPECT_TRUE(r.empty());

    r.emplace_back<counted_field>(deaths);
    udb_record moved(std::move(r));
    EXPECT_EQ(moved.size(), 1u);
    EXPECT_EQ(deaths, 2);
  }
  EXPECT_EQ(deaths, 3);
  static_assert(!std::is_copy_constructible_v<udb_record>);
  static_assert(std::has_virtual_destructor_v<udb_record>);
}

TEST(UdbRecord, LookupsAllocateNothing)
{
  udb_record r;
  for (int i = 0; i < 20; ++i)
    r.emplace_back(L"column_number_" + std::to_wstring(i), 4u, ole_variant(i), false, false);
  const std::wstring wanted = L"COLUMN_NUMBER_19";

  count_allocations = true;
  allocations = 0;
  const bool found = r.find_field(wanted) && r.find_field(L"column_number_7");
  const int value = r.get_field(wanted).to_long() + r.get_field(L"absent").to_long();
  const udb_field* f = r.find(std::wstring_view(L"Column_Number_3"));
  const std::int32_t total = r.get_total_size();
  count_allocations = false;

  EXPECT_EQ(allocations, 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(value, 19);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->to_long(), 3);
  EXPECT_EQ(total, 80);
}
