// Fuzz target for the number parsers: strtoul and strtol when FUZZ_FLOAT is 0 (the first
// byte picks the base), strtold and strtod when it is 1. The text is a heap block of exactly
// its bytes and a NUL, so a read past the NUL is a sanitizer report. Besides the sanitizers,
// the target checks that the end lies inside the text, that the two entry points agree, and
// that the text up to the end, parsed on its own, gives the same value and is read whole.
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" unsigned long vornos_strtoul(const char* s, char** end, int base);
extern "C" long vornos_strtol(const char* s, char** end, int base);
extern "C" long double vornos_strtold(const char* s, char** end);
extern "C" double vornos_strtod(const char* s, char** end);

namespace {

void check(bool ok) {
  if (!ok) abort();
}

char* copy_of(const uint8_t* data, size_t size) {
  char* text = static_cast<char*>(malloc(size + 1));
  memcpy(text, data, size);
  text[size] = '\0';
  return text;
}

// The value and the number of bytes taken.
struct Parsed {
  long double value;
  size_t taken;
};

Parsed parse(const char* text, int base) {
  char* end = nullptr;
  Parsed p;
  if (FUZZ_FLOAT) {
    p.value = vornos_strtold(text, &end);
    const double rounded = vornos_strtod(text, nullptr), expected = static_cast<double>(p.value);
    check(!isnan(p.value) && memcmp(&rounded, &expected, sizeof rounded) == 0);
  } else {
    const uint32_t value = static_cast<uint32_t>(vornos_strtoul(text, &end, base));
    char* end_of_signed = nullptr;
    check(static_cast<uint32_t>(vornos_strtol(text, &end_of_signed, base)) == value);
    check(end_of_signed == end);
    check(static_cast<uint32_t>(vornos_strtoul(text, nullptr, base)) == value);
    p.value = value;
  }
  check(end >= text && end <= text + strlen(text));
  p.taken = static_cast<size_t>(end - text);
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!FUZZ_FLOAT && size == 0) return 0;
  const int base = FUZZ_FLOAT ? 0 : data[0] % 40 - 2;  // -2 to 37
  if (!FUZZ_FLOAT) ++data, --size;
  char* text = copy_of(data, size);
  const Parsed whole = parse(text, base);
  if (whole.taken != 0) {
    char* prefix = copy_of(data, whole.taken);
    const Parsed again = parse(prefix, base);
    check(again.taken == whole.taken);
    check(memcmp(&again.value, &whole.value, 10) == 0);
    free(prefix);
  }
  free(text);
  return 0;
}
