// The one C.UTF-8 character-class locale object of the process. Case folding and
// character classes go through it, so that neither setlocale nor the user's LANG
// changes which names are equal or which characters are letters.
#pragma once

#include <locale.h>

namespace plat {

// Made once, shared by every thread; null only when the C library lacks C.UTF-8
// (Debian always ships it), and callers then fall back to ASCII.
locale_t unicode_ctype_locale();

} // namespace plat
