// Character classes of wide text as the system's text code asks for them. The
// answers follow Unicode and never depend on the process locale.
#pragma once

// Nonzero for letters and digits of any script (é, Ж, 日, ٠), zero for
// everything else ("_", "€", the no-break space, punctuation).
int IsCharAlphaNumericW(wchar_t ch);
