// Micro-benchmark of the per-cell path of a conversion: a value built from the
// server's text under the column's type and read back once, and a value whose
// type is changed in place, one case for each way change_type takes.
//   build/bench/ole_var_bench
#include "OLE/ole_var.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

namespace {

std::size_t allocations = 0;

template <class F>
void measure(const char* name, F&& body)
{
  constexpr int rounds = 1000000;
  const std::size_t before = allocations;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i)
    body();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%-28s %7.1f ns/cell %5.2f allocations/cell\n", name,
              std::chrono::duration<double, std::nano>(elapsed).count() / rounds,
              static_cast<double>(allocations - before) / rounds);
}

volatile double sink_number;
volatile std::size_t sink_size;

} // namespace

void* operator new(std::size_t size)
{
  ++allocations;
  if (void* p = std::malloc(size))
    return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main()
{
  const std::string big_text(200, 'x');
  measure("INT -> to_double", [] { sink_number = ole_variant::from_string("-2147483648", VT_I4).to_double(); });
  measure("BIGINT UNSIGNED -> wstring", [] { sink_size = ole_variant::from_string("18446744073709551615", VT_UI8).to_wstring().size(); });
  measure("DOUBLE -> to_double", [] { sink_number = ole_variant::from_string("1.7976931348623157e308", VT_R8).to_double(); });
  measure("FLOAT -> to_double", [] { sink_number = ole_variant::from_string("1.1", VT_R4).to_double(); });
  measure("DECIMAL -> to_double", [] { sink_number = ole_variant::from_string("12345678.123456", VT_DECIMAL).to_double(); });
  measure("DATETIME(6) -> wstring", [] { sink_size = ole_variant::from_string("2024-01-05 10:20:30.123456", VT_DATE).to_wstring().size(); });
  measure("VARCHAR(200) -> wstring", [&] { sink_size = ole_variant::from_string(big_text, VT_BSTR).to_wstring().size(); });
  measure("VARCHAR(200) copy", [&] { const ole_variant v = ole_variant::from_string(big_text, VT_BSTR); const ole_variant c(v); sink_size = c.get_type(); });
  // The value is built in the loop too, so each figure holds one constructor.
  measure("change_type BLOB synonym", [] { ole_variant v = ole_variant::from_string("0x0A", VT_BLOB); v.change_type(VT_ARRAY | VT_UI1); sink_size = v.get_type(); });
  measure("change_type I4 -> I4", [] { ole_variant v(7); v.change_type(VT_I4); sink_size = v.get_type(); });
  measure("change_type text -> BOOL", [] { ole_variant v(L"yes"); v.change_type(VT_BOOL); sink_size = v.get_type(); });
  measure("change_type I8 -> R8", [] { ole_variant v(std::int64_t{1} << 40); v.change_type(VT_R8); sink_size = v.get_type(); });
  measure("change_type R8 -> I8", [] { ole_variant v(2.5); v.change_type(VT_I8); sink_size = v.get_type(); });
  measure("change_type R8 -> I4", [] { ole_variant v(-2.5); v.change_type(VT_I4); sink_size = v.get_type(); });
  measure("change_type I4 -> bytes", [] { ole_variant v(1); v.change_type(VT_BLOB); sink_size = v.get_type(); });
  measure("change_type I4 -> R8", [] { ole_variant v(7); v.change_type(VT_R8); sink_size = v.get_type(); });
  const std::string blob(2 * 1000000, 'A');
  const ole_variant bytes = ole_variant::from_string("0x" + blob, VT_ARRAY | VT_UI1);
  const auto start = std::chrono::steady_clock::now();
  sink_size = bytes.to_string().size();
  std::printf("1 MB blob -> hex text        %7.1f ms\n",
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
}
