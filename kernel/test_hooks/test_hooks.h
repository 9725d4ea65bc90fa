// The kernel side of the test-control call: recorded calls, captured output, scripted answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "base/guest.h"
#include "base/guest_memory.h"
#include "calls/call_observers.h"
#include "vornos/abi/test_control.h"

namespace vornos::kernel {

// A scripted answer as queued: the program's ScriptedAnswer with its input bytes copied.
struct QueuedAnswer {
  test_control::AnswerKind kind = test_control::AnswerKind::result;
  int32_t value = 0;
  std::vector<std::byte> input;
};

// State that test programs steer through call 0x7E57 under `vornos-run --test-hooks`.
// It lives in the runner, so a program under test cannot disturb it except through the call.
class TestHooks final : public CallInterceptor {
 public:
  // The control call is served here; every other call is noted while recording is on and
  // answered from the script when an answer is queued for its number.
  std::optional<int32_t> intercept(KernelCall& call, GuestMemory& memory) override;

  // Serves one control call (operation in ebx, arguments in ecx and edx). Unknown
  // operations answer -22, unreachable program memory -14.
  int32_t control(const KernelCall& call, GuestMemory& memory);

  // Notes a call about to be served (control calls excluded) while recording is on.
  void note_call(const KernelCall& call);

  // Takes the first answer queued for `number`, if any.
  std::optional<QueuedAnswer> take_answer(uint32_t number);

  bool capturing() const override { return capturing_; }
  // Collects bytes written to descriptor 1 while capturing: as many as fit under
  // kCaptureLimit; returns how many that was, or -28 when none fit.
  int32_t capture(std::span<const std::byte> bytes) override;

  // Limits that keep a runaway test from exhausting the runner's memory: records kept,
  // bytes captured, answers queued and input bytes queued in them, all together.
  static constexpr size_t kRecordLimit = size_t{1} << 20;
  static constexpr size_t kCaptureLimit = size_t{1} << 24;
  static constexpr size_t kAnswerLimit = 4096;
  static constexpr uint32_t kInputLimit = uint32_t{1} << 24;

 private:
  int32_t stop_recording(uint32_t array, uint32_t capacity, GuestMemory& memory);
  int32_t stop_capturing(uint32_t buffer, uint32_t capacity, GuestMemory& memory);
  int32_t queue_answer(uint32_t address, GuestMemory& memory);

  bool recording_ = false;
  uint32_t recorded_count_ = 0;  // every call noted, even past kRecordLimit
  std::vector<test_control::CallRecord> records_;
  bool capturing_ = false;
  std::vector<std::byte> captured_;
  std::map<uint32_t, std::deque<QueuedAnswer>> answers_;
  size_t answers_queued_ = 0;
  size_t input_queued_ = 0;  // bytes of input in the queued answers
};

// The name of a control operation for the trace ("capture_start"), or empty if unknown.
std::string_view control_operation_name(uint32_t operation);

}  // namespace vornos::kernel
