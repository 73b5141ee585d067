// Conversions between wide text and the narrow encodings. The "ANSI code page" is
// UTF-8 here, whatever the locale; every result is sized by its real length.
// The buffer forms allocate with malloc (the caller frees) and report failure as
// false; the std::string forms raise tk_exception_ex at level 0, except the
// tk_try_ form, which gives nothing for the caller to judge.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

inline constexpr std::uint32_t tk_cp_acp = 0xFFFFFFFFu;

bool tk_ansi_to_unicode(const char* text, wchar_t*& out);
bool tk_unicode_to_ansi1(const wchar_t* text, char* out, std::size_t out_size);
bool tk_unicode_to_ansi2(const wchar_t* text, char*& out);
bool tk_unicode_to_ansi3(const wchar_t* text, std::string& out);

// code_page: tk_cp_acp, 0 (CP_ACP), 3 (CP_THREAD_ACP) or 65001 (CP_UTF8).
std::string tk_wstring_to_ansi(const std::wstring& text, std::uint32_t code_page = tk_cp_acp);
std::string tk_wstring_to_utf8(const std::wstring& text);
std::wstring tk_utf8_to_wstring(const std::string& text);

// Text of the ANSI code page, up to its first NUL, as wide text. The caller
// picks what undecodable text does: tk_ansi_to_wstring raises the level-0
// "Cannot convert to UNICODE string: " error (EILSEQ), tk_try_ansi_to_wstring
// gives nothing.
std::wstring tk_ansi_to_wstring(const std::string& text);
std::optional<std::wstring> tk_try_ansi_to_wstring(const std::string& text);
