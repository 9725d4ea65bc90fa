// TestHooks: recording, capture and scripted answers behind the test-control call.
#include "test_hooks/test_hooks.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/abi.h"
#include "base/error_codes.h"

namespace vornos::kernel {

using test_control::AnswerKind;
using test_control::CallRecord;
using test_control::Op;
using test_control::ScriptedAnswer;

std::string_view control_operation_name(uint32_t operation) {
  switch (static_cast<Op>(operation)) {
    case Op::record_start: return "record_start";
    case Op::record_stop: return "record_stop";
    case Op::capture_start: return "capture_start";
    case Op::capture_stop: return "capture_stop";
    case Op::script: return "script";
    case Op::script_clear: return "script_clear";
  }
  return {};
}

std::optional<int32_t> TestHooks::intercept(KernelCall& call, GuestMemory& memory) {
  if (call.number == test_control::kCallNumber) return control(call, memory);
  note_call(call);
  std::optional<QueuedAnswer> answer = take_answer(call.number);
  if (!answer) return std::nullopt;
  switch (answer->kind) {
    case AnswerKind::short_write:
      // Served, but with no more than the allowed count.
      call.args[2] = std::min(call.args[2], static_cast<uint32_t>(answer->value));
      return std::nullopt;
    case AnswerKind::input: {
      // The given bytes stand in for the device, whatever descriptor was named.
      const uint32_t count = std::min<uint32_t>(call.args[2], static_cast<uint32_t>(answer->input.size()));
      if (memory.write(call.args[1], std::span(answer->input).first(count)) != 0) return kBadAddress;
      return static_cast<int32_t>(count);
    }
    case AnswerKind::result:
    default: return answer->value;
  }
}

int32_t TestHooks::control(const KernelCall& call, GuestMemory& memory) {
  const uint32_t first = call.args[1];
  const uint32_t second = call.args[2];
  switch (static_cast<Op>(call.args[0])) {
    case Op::record_start:
      recording_ = true;
      recorded_count_ = 0;
      records_.clear();
      return 0;
    case Op::record_stop: return stop_recording(first, second, memory);
    case Op::capture_start:
      capturing_ = true;
      captured_.clear();
      return 0;
    case Op::capture_stop: return stop_capturing(first, second, memory);
    case Op::script: return queue_answer(first, memory);
    case Op::script_clear:
      answers_.clear();
      answers_queued_ = input_queued_ = 0;
      return 0;
  }
  return kInvalidArgument;
}

void TestHooks::note_call(const KernelCall& call) {
  if (!recording_) return;
  ++recorded_count_;
  if (records_.size() >= kRecordLimit) return;
  records_.push_back({call.number, call.args[0], call.args[1], call.args[2], call.args[3], call.args[4], call.args[5]});
}

std::optional<QueuedAnswer> TestHooks::take_answer(uint32_t number) {
  const auto found = answers_.find(number);
  if (found == answers_.end()) return std::nullopt;
  QueuedAnswer answer = std::move(found->second.front());
  found->second.pop_front();
  --answers_queued_;
  input_queued_ -= answer.input.size();
  if (found->second.empty()) answers_.erase(found);
  return answer;
}

int32_t TestHooks::capture(std::span<const std::byte> bytes) {
  const size_t taken = std::min(bytes.size(), kCaptureLimit - captured_.size());
  if (taken == 0 && !bytes.empty()) return from_host_errno(ENOSPC);
  captured_.insert(captured_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(taken));
  return static_cast<int32_t>(taken);
}

// Recording stops even when the copy fails: the caller asked for it to stop.
int32_t TestHooks::stop_recording(uint32_t array, uint32_t capacity, GuestMemory& memory) {
  recording_ = false;
  const size_t copied = std::min<size_t>(records_.size(), capacity);
  if (copied > 0 && memory.write(array, std::as_bytes(std::span(records_).first(copied))) != 0) return kBadAddress;
  return static_cast<int32_t>(recorded_count_);
}

int32_t TestHooks::stop_capturing(uint32_t buffer, uint32_t capacity, GuestMemory& memory) {
  capturing_ = false;
  const size_t copied = std::min<size_t>(captured_.size(), capacity);
  if (copied > 0 && memory.write(buffer, std::span(captured_).first(copied)) != 0) return kBadAddress;
  return static_cast<int32_t>(std::min<size_t>(captured_.size(), INT32_MAX));
}

// A short write only makes sense for call 1 and given input only for call 3; any other
// pairing is refused with -22 so that a mistaken script shows at once.
int32_t TestHooks::queue_answer(uint32_t address, GuestMemory& memory) {
  ScriptedAnswer scripted;
  if (memory.read(address, std::as_writable_bytes(std::span(&scripted, 1))) != 0) return kBadAddress;
  // The control call itself is never answered from the queue.
  if (scripted.number == test_control::kCallNumber) return kInvalidArgument;
  if (answers_queued_ == kAnswerLimit) return from_host_errno(ENOMEM);
  QueuedAnswer answer{scripted.kind, scripted.value, {}};
  switch (scripted.kind) {
    case AnswerKind::result: break;
    case AnswerKind::short_write:
      if (scripted.number != call::write || scripted.value < 0) return kInvalidArgument;
      break;
    case AnswerKind::input:
      if (scripted.number != call::read || scripted.length > kInputLimit) return kInvalidArgument;
      if (scripted.length > kInputLimit - input_queued_) return from_host_errno(ENOMEM);
      answer.input.resize(scripted.length);
      if (memory.read(scripted.data, answer.input) != 0) return kBadAddress;
      break;
    default: return kInvalidArgument;
  }
  ++answers_queued_;
  input_queued_ += answer.input.size();
  answers_[scripted.number].push_back(std::move(answer));
  return 0;
}

}  // namespace vornos::kernel
