// The record cursor that both the driver's reader and the restyling walk
// with: where a stream ends decides what it reports, and a fault leaves the
// position of the record it belongs to.
#include "platform/dao/excel/biff_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using plat::dao::biff::byte_source;
using plat::dao::biff::record_cursor;
using status = record_cursor::status;

class memory_source final : public byte_source {
public:
  explicit memory_source(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::size_t read_at(std::uint64_t position, void* data, std::size_t size) override
  {
    if (position >= bytes_.size())
      return 0;
    const std::size_t n = std::min<std::size_t>(size, bytes_.size() - position);
    std::memcpy(data, bytes_.data() + position, n);
    return n;
  }

private:
  std::vector<std::uint8_t> bytes_;
};

// Two records: type 0x0809 with 4 body bytes, then type 0x000A with none.
const std::vector<std::uint8_t> two_records = {0x09, 0x08, 0x04, 0x00, 1, 2, 3, 4, 0x0A, 0x00, 0x00, 0x00};

TEST(BiffRecordCursor, WalksRecordsAndJumps)
{
  memory_source source(two_records);
  record_cursor records(source, 0);
  ASSERT_EQ(records.next(), status::ok);
  EXPECT_EQ(records.record().position, 0u);
  EXPECT_EQ(records.record().type, 0x0809);
  EXPECT_EQ(std::vector<std::uint8_t>(records.record().body.begin(), records.record().body.end()),
            (std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(records.record().next(), 8u);
  ASSERT_EQ(records.next(), status::ok);
  EXPECT_EQ(records.record().type, 0x000A);
  EXPECT_TRUE(records.record().body.empty());
  EXPECT_EQ(records.next(), status::end);
  EXPECT_EQ(records.record().position, 12u);
  ASSERT_EQ(records.next_at(8), status::ok);
  EXPECT_EQ(records.record().type, 0x000A);
}

TEST(BiffRecordCursor, AStreamEndingInsideARecordIsReportedAtTheRecord)
{
  const struct {
    const char* what;
    std::ptrdiff_t cut_to;
    std::uint64_t from;
    status expected;
  } cases[] = {
      {"cut inside the second header", 10, 8, status::header_cut},
      {"cut inside the first body", 6, 0, status::body_cut},
      {"cut right after the first header", 4, 0, status::body_cut},
      {"nothing at the position", 8, 8, status::end},
      {"a position past the end", 8, 100, status::end},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    memory_source source(std::vector<std::uint8_t>(two_records.begin(), two_records.begin() + c.cut_to));
    record_cursor records(source, c.from);
    EXPECT_EQ(records.next(), c.expected);
    EXPECT_EQ(records.record().position, c.from);
    EXPECT_TRUE(records.record().body.empty());
    // The cursor stays on the faulty record.
    EXPECT_EQ(records.next(), c.expected);
  }
}

} // namespace
