// Putting text on the clipboard and mailing an error report to the maker, through
// the desktop services the program installed. Both report failure only in the
// log; where no desktop takes the text, the log names the file that keeps it.
#pragma once

#include <string>

// The maker's mail address, a macro so that message texts can be joined with it
// at compile time.
#define TK_SUPPORT_MAIL "support@norvale.example"
// The recipient of every bug report.
inline constexpr const char* tk_support_address = "Norvale support <" TK_SUPPORT_MAIL ">";

void tk_copy_to_clipboard2(const std::wstring& text);
// Subject "Bug report on " followed by the tail; the body is the report itself.
void tk_send_bug(const std::string& subject_tail, const std::string& body);
