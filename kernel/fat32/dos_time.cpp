// Local time to FAT dates.
#include "fat32/dos_time.h"

namespace vornos::fat32 {

DosTimestamp dos_timestamp(std::time_t when, long nanoseconds) {
  std::tm local{};
  if (::localtime_r(&when, &local) == nullptr) return {};
  DosTimestamp stamp;
  const int year = local.tm_year + 1900;
  if (year < 1980) {
    stamp.date = (1 << 5) | 1;
    return stamp;
  }
  if (year > 2107) {
    stamp.date = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);
    stamp.time = static_cast<uint16_t>((23 << 11) | (59 << 5) | 29);
    stamp.tenths = 199;
    return stamp;
  }
  const int second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
  stamp.date = static_cast<uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  stamp.time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (second / 2));
  stamp.tenths = static_cast<uint8_t>((second % 2) * 100 + nanoseconds / 10000000);
  return stamp;
}

DosTimestamp dos_now() {
  std::timespec now{};
  std::timespec_get(&now, TIME_UTC);
  return dos_timestamp(now.tv_sec, now.tv_nsec);
}

}  // namespace vornos::fat32
