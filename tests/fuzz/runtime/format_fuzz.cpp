// Fuzz target for snprintf (FUZZ_STREAM 0) or the stream formatter on a memory stream (1).
// Input: a buffer size byte, twelve 32-bit argument words, the format up to a NUL, then the
// text strings are cut from, each a heap block of just the bytes the formatter may read.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "fuzz.h"

extern "C" int vornos_snprintf(char* buffer, size_t size, const char* format, ...);
extern "C" int fuzz_print_to_memory(char** text, size_t* length, const char* format, ...);

namespace {

constexpr size_t kGuard = 16;
constexpr size_t kStreamCapacity = 4096;  // a memory stream fails to grow past this

int saturated_decimal(const char*& p) {
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) value = std::min<int64_t>(value * 10 + *p - '0', INT32_MAX);
  return static_cast<int>(value);
}

// Fills the argument slots the format takes with words, 64-bit values and strings (their
// blocks go to `owned`). False when the format takes more slots than there are.
bool build_arguments(const char* p, const uint32_t* words, const std::string& pool,
                     uint64_t* slot, void** owned) {
  int used = 0;
  auto next_word = [&] { return words[used % kSlots]; };
  auto take = [&](uint64_t value) {
    if (used < kSlots) slot[used] = value;
    ++used;
  };
  while (*p != '\0') {
    if (*p++ != '%') continue;
    if (!FUZZ_STREAM) p += strspn(p, "-0+");
    int precision = -1;
    if (*p == '*' && *p++) take(next_word());
    else saturated_decimal(p);
    if (*p == '.' && *++p == '*' && *p++) {
      precision = static_cast<int32_t>(next_word());
      take(next_word());
    } else if (p[-1] == '.') {
      precision = saturated_decimal(p);
    }
    const bool wide = p[0] == 'l' && p[1] == 'l';
    p += wide ? 2 : (*p == 'l' || (!FUZZ_STREAM && *p == 'z')) ? 1 : 0;
    const char c = *p;
    if (c == '\0' || used >= kSlots) break;
    ++p;
    const uint32_t word = next_word();
    if (c == 's') {
      const size_t start = word % (pool.size() + 1), n = pool.size() - start;
      const size_t bytes = precision >= 0 && size_t(precision) <= n ? size_t(precision) : n + 1;
      char* text = static_cast<char*>(malloc(bytes + 1)) + 1;  // never null, even for 0 bytes
      memcpy(text, pool.c_str() + start, bytes);
      owned[used] = text - 1;
      take(reinterpret_cast<uintptr_t>(text));
    } else if (strchr(FUZZ_STREAM ? "cdiuxp" : "cdiuxXp", c) != nullptr) {
      // A 64-bit value is one slot on this host for the buffer formatter, which takes it
      // whole, and two for the stream formatter, which takes two words (but one for 'c').
      take(wide && !FUZZ_STREAM ? (uint64_t{word} << 32) | words[(used + 1) % kSlots] : word);
      if (wide && FUZZ_STREAM && c != 'c') take(next_word());
    }
  }
  return used <= kSlots && (*p == '\0' || used < kSlots);
}

// Guard bytes stay; the result does not depend on the size; what is stored is the start of
// the whole output and a NUL.
void fuzz_buffer(size_t size, const char* fmt, const uint64_t* a) {
  const std::string guard(kGuard, '\xa5');
  std::string area = guard + std::string(size, '\xa5') + guard;
  const uint32_t length = vornos_snprintf(&area[kGuard], size, fmt, SLOTS(a));
  check(area.compare(0, kGuard, guard) == 0 && area.compare(kGuard + size, kGuard, guard) == 0);
  check(static_cast<uint32_t>(vornos_snprintf(nullptr, 0, fmt, SLOTS(a))) == length);
  if (length >= (1u << 20)) return;
  std::string whole(length + 1, '\xa5');
  check(static_cast<uint32_t>(vornos_snprintf(&whole[0], length + 1, fmt, SLOTS(a))) == length);
  const size_t stored = size == 0 ? 0 : std::min<size_t>(length, size - 1);
  check(whole[length] == '\0' && area.compare(kGuard, stored, whole, 0, stored) == 0);
  check(size == 0 || area[kGuard + stored] == '\0');
}

// A result is the length the stream holds, or -1 when it could not grow.
void fuzz_stream(const char* fmt, const uint64_t* a) {
  char* text = nullptr;
  size_t length = 0;
  const int result = fuzz_print_to_memory(&text, &length, fmt, SLOTS(a));
  check(result == -1 || static_cast<size_t>(result) == length);
  check(text == nullptr ? length == 0 : text[length] == '\0');
  free(text);
}

}  // namespace

// The memory stream's buffer grows through this, bounded so that a huge width fails quickly.
extern "C" void* vornos_realloc(void* block, size_t size) {
  return size > kStreamCapacity ? nullptr : realloc(block, size);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kHeader = 1 + 4 * kSlots;
  if (size < kHeader) return 0;
  uint32_t words[kSlots];
  memcpy(words, data + 1, sizeof words);
  // A word 0x7Fxxxxxx stands for one within 255 of 2^31 - 1, where field lengths overflow.
  for (uint32_t& w : words) w = w >> 24 == 0x7F ? INT32_MAX - (w & 0xFF) : w;
  const std::string rest(reinterpret_cast<const char*>(data + kHeader), size - kHeader);
  const std::string fmt = rest.substr(0, rest.find('\0'));
  const std::string pool = fmt.size() < rest.size() ? rest.substr(fmt.size() + 1) : "";
  uint64_t slot[kSlots] = {};
  void* owned[kSlots] = {};
  if (build_arguments(fmt.c_str(), words, pool, slot, owned)) {
    if (FUZZ_STREAM) fuzz_stream(fmt.c_str(), slot);
    else fuzz_buffer(data[0], fmt.c_str(), slot);
  }
  for (void* block : owned) free(block);
  return 0;
}
