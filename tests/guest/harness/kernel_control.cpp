// The guest side of the stand-in kernel's test-control call.
#include "kernel_control.h"

#include "vornos/kernel_call.h"

namespace vtest {

using vornos::test_control::AnswerKind;
using vornos::test_control::Op;

int32_t control(Op op, uint32_t a, uint32_t b) {
  return vornos::kernel_call(vornos::test_control::kCallNumber, static_cast<uint32_t>(op), a, b);
}

CallRecorder::CallRecorder() { control(Op::record_start); }

int CallRecorder::stop() {
  if (running_) count_ = control(Op::record_stop, reinterpret_cast<uintptr_t>(records_), kCapacity);
  running_ = false;
  return count_;
}

// One capture at a time, so its buffer is static rather than on the test's small stack.
static char s_captured[OutputCapture::kCapacity + 1];

OutputCapture::OutputCapture() { control(Op::capture_start); }
const char* OutputCapture::bytes() const { return s_captured; }

uint32_t OutputCapture::stop() {
  if (running_) {
    const int32_t n = control(Op::capture_stop, reinterpret_cast<uintptr_t>(s_captured), kCapacity);
    size_ = n < 0 ? 0 : static_cast<uint32_t>(n);
    s_captured[size_ < kCapacity ? size_ : kCapacity] = '\0';
  }
  running_ = false;
  return size_;
}

static void script(uint32_t number, AnswerKind kind, int32_t value, const void* data = nullptr,
                   uint32_t length = 0) {
  const vornos::test_control::ScriptedAnswer answer{
      number, kind, value, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data)), length};
  control(Op::script, reinterpret_cast<uintptr_t>(&answer));
}

void script_result(uint32_t call_number, int32_t result) { script(call_number, AnswerKind::result, result); }
void script_short_write(int32_t max_bytes) { script(SYS_write, AnswerKind::short_write, max_bytes); }
void script_input(const void* data, uint32_t length) { script(SYS_read, AnswerKind::input, 0, data, length); }
void script_clear() { control(Op::script_clear); }

}  // namespace vtest
