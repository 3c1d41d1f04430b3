// Profile values and the current time.
#include "qvplatform/Platform.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <langinfo.h>
#include <locale.h>
#include <string>
#include <strings.h>

namespace {

// The user's decimal separator: the environment override, else the locale's.
std::string DecimalSeparator() {
  if (const char* value = std::getenv("QV_PROFILE_INTL_SDECIMAL")) return value;
  std::string separator = ".";
  if (locale_t locale = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0))) {
    if (const char* radix = nl_langinfo_l(RADIXCHAR, locale); radix && *radix) separator = radix;
    freelocale(locale);
  }
  return separator;
}

}  // namespace

uint32_t QVPlatform_GetProfileString(const char* section, const char* key, const char* fallback,
                                     char* buffer, uint32_t size) {
  if (!buffer || size == 0) return 0;
  std::string value = fallback ? fallback : "";
  if (section && key && strcasecmp(section, "intl") == 0 && strcasecmp(key, "sDecimal") == 0)
    value = DecimalSeparator();
  const uint32_t n = static_cast<uint32_t>(value.size() < size ? value.size() : size - 1);
  std::memcpy(buffer, value.data(), n);
  buffer[n] = 0;
  return n;
}

int64_t QVPlatform_CurrentTime() { return static_cast<int64_t>(std::time(nullptr)); }
