// Fuzz target for strtoul/strtol (FUZZ_FLOAT 0; the first byte picks the base) or
// strtold/strtod (1): the end lies inside the text, the entry points agree, and the text up
// to the end, parsed on its own, gives the same value and is read whole.
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fuzz.h"

extern "C" unsigned long vornos_strtoul(const char* s, char** end, int base);
extern "C" long vornos_strtol(const char* s, char** end, int base);
extern "C" long double vornos_strtold(const char* s, char** end);
extern "C" double vornos_strtod(const char* s, char** end);

namespace {

// The value and the number of bytes taken.
long double parse(const std::string& text, int base, size_t& taken) {
  char* const s = strdup(text.c_str());  // a block of just the text and its NUL
  char* end = nullptr;
  long double value;
  if (FUZZ_FLOAT) {
    value = vornos_strtold(s, &end);
    const double rounded = vornos_strtod(s, nullptr), expected = static_cast<double>(value);
    check(!isnan(value) && memcmp(&rounded, &expected, sizeof rounded) == 0);
  } else {
    const uint32_t bits = static_cast<uint32_t>(vornos_strtoul(s, &end, base));
    char* signed_end = nullptr;
    check(static_cast<uint32_t>(vornos_strtol(s, &signed_end, base)) == bits && signed_end == end);
    check(static_cast<uint32_t>(vornos_strtoul(s, nullptr, base)) == bits);
    value = bits;
  }
  check(end >= s && end <= s + strlen(s));
  taken = static_cast<size_t>(end - s);
  free(s);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!FUZZ_FLOAT && size == 0) return 0;
  const int base = FUZZ_FLOAT ? 0 : data[0] % 40 - 2;  // -2 to 37
  const std::string text(reinterpret_cast<const char*>(data) + !FUZZ_FLOAT, size - !FUZZ_FLOAT);
  size_t taken, taken_again;
  const long double value = parse(text, base, taken);
  const long double again = parse(text.substr(0, taken), base, taken_again);
  check(taken_again == taken && memcmp(&again, &value, 10) == 0);
  return 0;
}
