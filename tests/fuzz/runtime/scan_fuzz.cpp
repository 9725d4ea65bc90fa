// Fuzz target for sscanf. Input: the format up to a NUL, then the text. Each assigning
// conversion gets a heap block of just what it may fill (%c 1, a number 4, %s the text or
// width and a NUL); the count stays within them and every word stored ends inside its block.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "fuzz.h"

extern "C" int vornos_sscanf(const char* str, const char* format, ...);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::string format = all.substr(0, all.find('\0'));
  const std::string text = format.size() < all.size() ? all.substr(format.size() + 1) : "";
  const size_t length = strlen(text.c_str());
  void* slot[kSlots] = {};
  size_t capacity[kSlots] = {};
  bool word[kSlots] = {};
  int used = 0;
  bool fits = true;
  for (const char* p = format.c_str(); *p != '\0' && fits;) {
    if (*p++ != '%') continue;
    const bool assign = *p != '*';
    if (!assign) ++p;
    uint64_t width = UINT64_MAX;
    if (*p >= '0' && *p <= '9') width = 0;
    for (; *p >= '0' && *p <= '9'; ++p) width = std::min<uint64_t>(width * 10 + *p - '0', 1u << 30);
    const char c = *p;
    if (c == '%' && ++p) continue;
    if (c == '\0' || strchr("cdiuxXs", c) == nullptr) break;
    ++p;
    if (!assign) continue;
    if (!(fits = used < kSlots)) break;
    word[used] = c == 's';
    capacity[used] = c == 'c' ? 1 : c == 's' ? std::min<uint64_t>(width, length) + 1 : 4;
    slot[used] = malloc(capacity[used]);
    ++used;
  }
  char* const input = strdup(text.c_str());  // a block of just the text and its NUL
  const int count = !fits ? 0 : vornos_sscanf(input, format.c_str(), SLOTS(slot));
  check(count >= 0 && count <= used);
  for (int i = 0; i < count; ++i)
    check(!word[i] || memchr(slot[i], '\0', capacity[i]) != nullptr);
  for (void* block : slot) free(block);
  free(input);
  return 0;
}
