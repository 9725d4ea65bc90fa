// Dates and times as directory entries store them, from the host's local clock.
#pragma once

#include <cstdint>
#include <ctime>

namespace vornos::fat32 {

struct DosTimestamp {
  uint16_t date = 0;     // ((year - 1980) << 9) | (month << 5) | day
  uint16_t time = 0;     // (hour << 11) | (minute << 5) | (second / 2)
  uint8_t tenths = 0;    // hundredths of a second added to `time`, 0..199
};

// `when` in local time; years before 1980 become 1980-01-01 and after 2107 the last day FAT can hold.
DosTimestamp dos_timestamp(std::time_t when, long nanoseconds = 0);
// Now, local time.
DosTimestamp dos_now();

}  // namespace vornos::fat32
