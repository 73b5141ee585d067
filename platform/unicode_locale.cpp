#include "platform/unicode_locale.h"

namespace plat {

namespace {

class owned_locale {
public:
  owned_locale() : locale_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr))
  {
    if (locale_ == nullptr)
      locale_ = ::newlocale(LC_CTYPE_MASK, "C.utf8", nullptr);
  }
  ~owned_locale()
  {
    if (locale_ != nullptr)
      ::freelocale(locale_);
  }
  owned_locale(const owned_locale&) = delete;
  owned_locale& operator=(const owned_locale&) = delete;

  locale_t get() const { return locale_; }

private:
  locale_t locale_;
};

} // namespace

locale_t unicode_ctype_locale()
{
  static const owned_locale locale;
  return locale.get();
}

} // namespace plat
