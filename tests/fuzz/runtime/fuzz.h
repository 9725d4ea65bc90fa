// Shared by the runtime's fuzz targets: twelve argument slots, and a failed check as a finding.
#pragma once
#include <stdlib.h>

constexpr int kSlots = 12;
#define SLOTS(a) a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11]

inline void check(bool ok) {
  if (!ok) abort();
}
