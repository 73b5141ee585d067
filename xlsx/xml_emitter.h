// The streaming XML writer of every .xlsx part: tokens and plain values become
// UTF-8 text in a CFileWriter as they arrive; only the names of the open
// elements are remembered, so that every element is closed and well nested.
// It escapes nothing: callers hand it text already made safe by xlsx/xml_text.h.
#pragma once

#include "xlsx/xlsx_file_writer.h"

#include <charconv>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace XlsxBook {

// One instruction to a CXmlEmitter. Names are ASCII in this system; a wide name
// is kept as UTF-8.
struct XmlToken {
  enum Kind : std::uint32_t {
    kDeclaration = 0,
    kStartTag = 1,
    kEndTag = 2,
    kAttribute = 3,
    kCloseStartTag = 4,
  };

  std::uint32_t kind;
  std::string name;

  XmlToken(std::uint32_t token_kind, std::string_view token_name)
      : kind(token_kind), name(token_name) {}
  XmlToken(std::uint32_t token_kind, std::wstring_view token_name);

  static XmlToken Declaration() { return {kDeclaration, std::string_view{}}; }
  // An empty name collects the element's name from the values that follow.
  static XmlToken StartTag(std::string_view n) { return {kStartTag, n}; }
  static XmlToken StartTag(std::wstring_view n) { return {kStartTag, n}; }
  // Without a name: ends the innermost element; with one: ends the elements
  // down to and including the innermost one of that name (all when none is).
  static XmlToken EndTag(std::string_view n = {}) { return {kEndTag, n}; }
  static XmlToken EndTag(std::wstring_view n) { return {kEndTag, n}; }
  static XmlToken Attribute(std::string_view n) { return {kAttribute, n}; }
  static XmlToken Attribute(std::wstring_view n) { return {kAttribute, n}; }
  static XmlToken CloseStartTag() { return {kCloseStartTag, std::string_view{}}; }
};

class CXmlEmitter {
public:
  enum State : std::uint32_t {
    kNone = 0,
    kStartTagOpen = 1,
    kAttributeOpen = 2,
    kCollectingName = 3,
  };

  // The writer is borrowed: the emitter never flushes or closes it.
  explicit CXmlEmitter(CFileWriter& out);
  // Closes every open element (a start tag still collecting its name is ended
  // as "/>" and forgotten).
  ~CXmlEmitter();

  CXmlEmitter(const CXmlEmitter&) = delete;
  CXmlEmitter& operator=(const CXmlEmitter&) = delete;

  CXmlEmitter& operator<<(const XmlToken& token);

  // Values: written as they are (wide text as UTF-8); in the collecting state
  // they also form the element's name. Integers in decimal; a double or float
  // with 6 significant digits in the "C" form (1234567.0 gives 1.23457e+06),
  // so callers that need the exact value format it themselves.
  CXmlEmitter& operator<<(std::string_view text);
  CXmlEmitter& operator<<(const char* text) { return *this << std::string_view(text); }
  CXmlEmitter& operator<<(const std::string& text) { return *this << std::string_view(text); }
  CXmlEmitter& operator<<(std::wstring_view text);
  CXmlEmitter& operator<<(const wchar_t* text) { return *this << std::wstring_view(text); }
  CXmlEmitter& operator<<(const std::wstring& text) { return *this << std::wstring_view(text); }
  CXmlEmitter& operator<<(char c) { return *this << std::string_view(&c, 1); }
  CXmlEmitter& operator<<(wchar_t c) { return *this << std::wstring_view(&c, 1); }
  CXmlEmitter& operator<<(double value);
  CXmlEmitter& operator<<(float value) { return *this << static_cast<double>(value); }

  template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, wchar_t> &&
             !std::same_as<T, char8_t> && !std::same_as<T, char16_t> &&
             !std::same_as<T, char32_t>)
  CXmlEmitter& operator<<(T value)
  {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
  }

  // Ends a pending start tag ("/>" when self-closing, else ">"); the state is
  // left for the caller to set.
  void FinishStartTag(bool self_closing);
  // Closes open elements from the innermost outwards down to the named one.
  void CloseTo(std::string_view name);

  // Ends a pending start tag with ">" so that the caller may write element
  // content straight into Out(); the same as the close-start-tag token.
  void BeginContent() { *this << XmlToken::CloseStartTag(); }

  CFileWriter& Out() { return out_; }
  std::uint32_t GetState() const { return state_; }
  std::size_t Depth() const { return depth_; }

private:
  void PushCollectedName();
  void Pop();

  std::vector<std::string> open_;  // innermost last; slots are reused
  std::size_t depth_ = 0;
  std::uint32_t state_ = kNone;
  CFileWriter& out_;
  bool declaration_written_ = false;
  std::string name_buffer_;
};

// The element shapes every part writer uses; like the emitter they escape
// nothing, so text and values arrive made safe.
inline void EmptyElement(CXmlEmitter& xml, std::string_view name)
{
  xml << XmlToken::StartTag(name) << XmlToken::EndTag();
}

// <name val="value"/>
template <class T>
void ValElement(CXmlEmitter& xml, std::string_view name, const T& value)
{
  xml << XmlToken::StartTag(name) << XmlToken::Attribute("val") << value << XmlToken::EndTag();
}

// <name>text</name>
template <class T>
void TextElement(CXmlEmitter& xml, std::string_view name, const T& text)
{
  xml << XmlToken::StartTag(name) << XmlToken::CloseStartTag() << text << XmlToken::EndTag();
}

} // namespace XlsxBook
