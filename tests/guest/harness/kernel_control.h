// What a test program can ask of the stand-in kernel under `vornos-run --test-hooks`:
// the calls a piece of code made, the bytes it wrote to descriptor 1, and scripted answers.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "vornos/abi/test_control.h"
#include "vornos/syscalls.h"

namespace vtest {

using CallRecord = vornos::test_control::CallRecord;

// A pointer as a 32-bit argument word, the way a CallRecord shows it.
inline uint32_t word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// Records every kernel call from construction to stop() (or destruction).
//   CallRecorder calls;  write(1, "x", 1);  EXPECT_EQ(calls.stop(), 1);  EXPECT_EQ(calls[0].edx, 1u);
class CallRecorder {
 public:
  static constexpr int kCapacity = 256;
  CallRecorder();
  ~CallRecorder() { stop(); }
  CallRecorder(const CallRecorder&) = delete;
  int stop();  // ends the recording; the number of calls made (possibly more than kCapacity)
  int count() const { return count_; }
  const CallRecord& operator[](int i) const { return records_[i]; }

 private:
  bool running_ = true;
  int count_ = 0;
  CallRecord records_[kCapacity];
};

// Collects what the program writes to descriptor 1 from construction to stop() (or
// destruction) instead of letting it reach standard output.
//   OutputCapture out;  printf("%d", 42);  out.stop();  EXPECT_STREQ(out.text(), "42");
class OutputCapture {
 public:
  static constexpr uint32_t kCapacity = 128 * 1024;
  OutputCapture();
  ~OutputCapture() { stop(); }
  OutputCapture(const OutputCapture&) = delete;
  uint32_t stop();  // ends the capture; the number of bytes written meanwhile
  const char* text() const;  // the captured bytes (at most kCapacity kept), NUL-terminated

 private:
  bool running_ = true;
  uint32_t size_ = 0;
};

// Scripted answers: each applies once, to the next call of its number, in queued order.
void script_result(uint32_t call_number, int32_t result);  // answered without being served
void script_short_write(int32_t max_bytes);                // next write takes at most this
void script_input(const void* data, uint32_t length);      // next read gets these bytes
void script_clear();

}  // namespace vtest
