#include "common/local_time.h"

#include <cstdio>
#include <ctime>

namespace zel {

bool local_time_text(char *out, size_t size) {
  static const char days[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (size == 0) return false;
  out[0] = '\0';
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1) || size < 25) return false;
  std::tm t{};
#if defined(_WIN32)
  if (localtime_s(&t, &now) != 0) return false;
  const char *form = "%.3s %.3s %.2d %.2d:%.2d:%.2d %d";
#else
  if (!localtime_r(&now, &t)) return false;
  const char *form = "%.3s %.3s%3d %.2d:%.2d:%.2d %d";
#endif
  if (t.tm_wday < 0 || t.tm_wday > 6 || t.tm_mon < 0 || t.tm_mon > 11) return false;
  std::snprintf(out, size, form, days[t.tm_wday], months[t.tm_mon], t.tm_mday, t.tm_hour, t.tm_min,
                t.tm_sec, t.tm_year + 1900);
  return true;
}

} // namespace zel
