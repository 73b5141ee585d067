// The system's one value type: an Automation VARIANT with signed and unsigned
// 64-bit integers, a date with microseconds and byte arrays beside it. The
// VARIANT's tag is always the value's type, and the value owns what it holds.
#pragma once

#include "OLE/ole_date.h"
#include "OLE/ole_misc.h"
#include "platform/oleaut/oleauto.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

// VT_I8 and VT_UI8 keep their value in a 64-bit member (the VARIANT holds a copy
// for whoever is handed the raw VARIANT); VT_DATE keeps it in the ole_date, and
// the VARIANT's DATE is derived from it (without the milliseconds; a time of its
// own becomes the signed fraction of days it spans). Byte arrays are one-
// dimensional SAFEARRAYs of bytes under VT_ARRAY|VT_UI1 or its synonym VT_BLOB.
// Numbers are read and written with "." whatever the process locale.
class ole_variant {
public:
  using byte_vector = std::vector<unsigned char>;

  // Renderings and extracts of a byte array stop after this many bytes.
  static constexpr std::uint32_t max_rendered_bytes = 120000000;
  static constexpr VARTYPE vt_byte_array = VT_ARRAY | VT_UI1;

  ole_variant();
  ole_variant(const ole_variant& other);
  // The other value is left VT_EMPTY.
  ole_variant(ole_variant&& other) noexcept;

  // Text, read as UTF-8 (narrow) or taken as it is (wide); the pointer forms copy
  // up to the first NUL, so a BSTR is copied as SysAllocString does.
  ole_variant(const std::string& text);
  ole_variant(const std::wstring& text);
  ole_variant(const char* text);
  ole_variant(const wchar_t* text);
  // VT_ARRAY|VT_UI1; no bytes give VT_EMPTY.
  ole_variant(const byte_vector& bytes);

  ole_variant(bool value);                // VT_BOOL: VARIANT_TRUE or VARIANT_FALSE
  ole_variant(char value);                // VT_I1
  ole_variant(signed char value);         // VT_I1
  ole_variant(unsigned char value);       // VT_UI1
  ole_variant(short value);               // VT_I2
  ole_variant(unsigned short value);      // VT_UI2
  ole_variant(int value);                 // VT_I4
  ole_variant(unsigned int value);        // VT_UI4
  ole_variant(long value);                // VT_I8 (64 bits here)
  ole_variant(unsigned long value);       // VT_UI8
  ole_variant(long long value);           // VT_I8
  ole_variant(unsigned long long value);  // VT_UI8
  ole_variant(float value);               // VT_R4
  ole_variant(double value);              // VT_R8
  ole_variant(const CY& value);           // VT_CY
  ole_variant(const DECIMAL& value);      // VT_DECIMAL
  ole_variant(const ole_date& value);     // VT_DATE

  // Any other pointer would silently become VT_BOOL true.
  template <class T>
    requires(!std::is_same_v<std::remove_cv_t<T>, char> && !std::is_same_v<std::remove_cv_t<T>, wchar_t>)
  ole_variant(T*) = delete;

  virtual ~ole_variant();

  // Assigning a value to itself changes nothing.
  ole_variant& operator=(const ole_variant& other);
  ole_variant& operator=(ole_variant&& other) noexcept;
  // attach_binary: no bytes leave the value as it was.
  ole_variant& operator=(const byte_vector& bytes);
  // A copy of the text up to its first NUL (a BSTR is copied as SysAllocString does).
  ole_variant& operator=(const wchar_t* text);

  VARTYPE get_type() const;
  // The VARIANT as a COM interface takes it.
  const VARIANT& get_variant() const { return var_; }
  // Takes over what `value` holds and leaves it VT_EMPTY. A VT_I8, VT_UI8 or
  // VT_DATE value fills the matching member; a DATE that is no calendar date
  // leaves the date not valid.
  void attach_variant(VARIANT& value);

  // The members behind VT_I8, VT_UI8 and VT_DATE.
  std::int64_t get_i8() const { return i8_; }
  std::uint64_t get_ui8() const { return ui8_; }
  const ole_date& get_date() const { return date_; }

  // Makes the value a byte array of exactly `size` elements; a byte array held
  // already keeps its bytes, its lower bound and its type, and is resized only
  // when needed.
  void allocate_safe_array(std::uint32_t size);
  // No bytes change nothing; otherwise the value becomes a byte array of them.
  void attach_binary(const byte_vector& bytes);
  void attach_binary(const unsigned char* bytes, std::size_t count);
  // VT_BSTR of the UTF-8 text, every character kept (embedded NULs too). Text
  // that is not UTF-8 is logged and leaves the value VT_EMPTY.
  void attach_string(std::string_view text);
  void attach_wstring(std::wstring_view text);

  bool to_bool() const;
  // Reals are truncated toward zero; NaN and values beyond 32 bits give 0.
  std::int32_t to_long() const;
  // Types that are no number (VT_DATE, VT_BSTR, arrays ...) are an internal error.
  // A VT_R4 gives the double of the float's shortest decimal form, so 1.1f gives 1.1.
  double to_double() const;
  virtual std::string to_string() const;
  // VT_BSTR and byte arrays directly; every other type is to_string, read as UTF-8.
  virtual std::wstring to_wstring() const;

  // Elements of a one-dimensional array; 0 for another number of dimensions.
  static std::uint32_t get_safe_array_size(const SAFEARRAY* array);
  // Replaces the vector's contents with `count` bytes from `data`.
  static byte_vector& convert_to_byte_array(const void* data, std::size_t count, byte_vector& out);

  // A piece of a text or byte array for a caller that sends long values in parts.
  // Text: the characters [pos, pos + length) (up to the first NUL) as UTF-8 with a
  // terminator; `buffer` must hold 4 × length + 1 bytes. Byte arrays: those bytes
  // as upper-case hexadecimal with a terminator; `buffer` must hold 2 × length + 1.
  // Returns the characters or bytes of the value taken (0 past the end or for
  // any other type) and stores the bytes written, terminator excluded, in
  // `written` when it is given.
  std::uint32_t get_at(char* buffer, std::uint32_t pos, std::uint32_t length,
                       std::uint32_t* written = nullptr) const;
  // The raw bytes of the value and their count. A byte array lends its own data
  // while the value keeps it; a text is converted to UTF-8 into `storage`, which
  // `data` then points into. Empty values give 0 and leave `data` as it was;
  // other types are an internal error.
  std::int64_t get_bytes(const unsigned char*& data, std::string& storage) const;

  // The value of `type` that the text means: empty text is VT_EMPTY except for
  // VT_BSTR; numbers take "," or "." as the mark; byte arrays are hexadecimal
  // with an optional "0x" or "\x". ole_type_exception when the general conversion
  // refuses the text.
  static ole_variant from_string(std::string_view text, VARTYPE type);
  static ole_variant from_wstring(std::wstring_view text, VARTYPE type);
  // Converts in place; ole_cast_exception, with the value unchanged, when the
  // conversion is not possible.
  void change_type(VARTYPE type);

private:
  // The rules change_type tries in order, one function each (ole_var_parse.cpp).
  struct type_rules;

  void clear();
  void set_date(const ole_date& value);
  void set_i8(std::int64_t value);
  void set_ui8(std::uint64_t value);
  bool holds_byte_array() const;
  const SAFEARRAY* byte_array() const;
  std::string byte_array_text() const;

  std::int64_t i8_ = 0;
  std::uint64_t ui8_ = 0;
  ole_date date_;
  VARIANT var_;
};
