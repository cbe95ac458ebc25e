// Names in these tests compare as in an English (United States) user locale, whatever locale
// the test runs under.
#pragma once

#include <unicode/locid.h>

namespace udb_test {
inline const bool user_locale_set = [] {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), status);
    return U_SUCCESS(status);
}();
}  // namespace udb_test
