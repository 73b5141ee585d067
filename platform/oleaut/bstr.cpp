// Allocation of Automation strings: one malloc block holding the 4-byte byte
// count, the characters and a NUL; the BSTR points just past the count.
#include "platform/oleaut/bstr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

namespace {

using length_prefix = std::uint32_t;

// The block starts 4 bytes before the text; malloc's alignment keeps the text
// aligned for wchar_t.
static_assert(sizeof(length_prefix) % alignof(OLECHAR) == 0);

unsigned char* block_of(const OLECHAR* text)
{
  return const_cast<unsigned char*>(reinterpret_cast<const unsigned char*>(text)) - sizeof(length_prefix);
}

} // namespace

BSTR SysAllocStringLen(const OLECHAR* text, unsigned int length)
{
  constexpr auto max_length = std::numeric_limits<length_prefix>::max() / sizeof(OLECHAR);
  if (length > max_length)
    return nullptr;
  const std::size_t bytes = std::size_t{length} * sizeof(OLECHAR);
  auto* block = static_cast<unsigned char*>(std::malloc(sizeof(length_prefix) + bytes + sizeof(OLECHAR)));
  if (block == nullptr)
    return nullptr;
  const auto prefix = static_cast<length_prefix>(bytes);
  std::memcpy(block, &prefix, sizeof prefix);
  auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof(length_prefix));
  if (text != nullptr)
    std::memcpy(chars, text, bytes);
  else
    std::memset(chars, 0, bytes);
  chars[length] = L'\0';
  return chars;
}

BSTR SysAllocString(const OLECHAR* text)
{
  if (text == nullptr)
    return nullptr;
  const std::size_t length = std::wcslen(text);
  if (length > std::numeric_limits<unsigned int>::max())
    return nullptr;
  return SysAllocStringLen(text, static_cast<unsigned int>(length));
}

void SysFreeString(BSTR text)
{
  if (text != nullptr)
    std::free(block_of(text));
}

unsigned int SysStringByteLen(const OLECHAR* text)
{
  if (text == nullptr)
    return 0;
  length_prefix prefix = 0;
  std::memcpy(&prefix, block_of(text), sizeof prefix);
  return prefix;
}

unsigned int SysStringLen(const OLECHAR* text)
{
  return SysStringByteLen(text) / static_cast<unsigned int>(sizeof(OLECHAR));
}
