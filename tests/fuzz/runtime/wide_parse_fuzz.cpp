// Fuzz target for strtoll and strtoull (the first byte picks the base): both read the text as
// the host's C library does, the standard's reference here, value and end alike; the end lies
// inside the text and errno is never touched.
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fuzz.h"

extern "C" long long vornos_strtoll(const char* s, char** end, int base);
extern "C" unsigned long long vornos_strtoull(const char* s, char** end, int base);

namespace {

// Newer host libraries read a "0b" prefix (a later standard's) that these do not.
bool has_binary_prefix(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  if (*s == '+' || *s == '-') ++s;
  return s[0] == '0' && (s[1] == 'b' || s[1] == 'B');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int base = data[0] % 40 - 2;  // -2 to 37
  char* const s = strdup(std::string(reinterpret_cast<const char*>(data) + 1, size - 1).c_str());
  char *end = nullptr, *unsigned_end = nullptr;
  errno = 0;
  const long long value = vornos_strtoll(s, &end, base);
  const unsigned long long unsigned_value = vornos_strtoull(s, &unsigned_end, base);
  check(errno == 0);
  check(end >= s && end <= s + strlen(s) && unsigned_end == end);
  const bool valid_base = base == 0 || (base >= 2 && base <= 36);
  if (!valid_base) check(value == 0 && unsigned_value == 0 && end == s);
  if (valid_base && !((base == 0 || base == 2) && has_binary_prefix(s))) {
    char *host_end = nullptr, *host_unsigned_end = nullptr;
    check(strtoll(s, &host_end, base) == value && host_end == end);
    check(strtoull(s, &host_unsigned_end, base) == unsigned_value && host_unsigned_end == end);
  }
  free(s);
  return 0;
}
