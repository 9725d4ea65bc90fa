/* The system's kernel calls: X(number, name, (arguments), answer) for each, shared by the library
 * (its SYS_ names), the kernel (its call numbers) and the trace (how it shows each argument).
 *
 * An argument is one of: signed_value (descriptors, statuses, offsets), unsigned_value (counts),
 * address (a pointer shown in hex), bits (flags and modes in hex), path (a NUL-terminated string
 * the call reads), data_in (a buffer the call reads, its length the next argument), data_out (a
 * buffer the call fills, its length the result), path_out (a buffer the call fills with a path),
 * open_flags, whence, protection, map_flags (named bits), pipe_ends (two descriptors the call
 * stores), spawn_record (the record of spawn_record.h). The answer is answers_value (a count, a
 * descriptor, 0, or a negated error number) or answers_address (an address, or -1). */
#ifndef VORNOS_ABI_CALLS_H
#define VORNOS_ABI_CALLS_H

#define VORNOS_ABI_CALLS(X)                                                                                    \
  X(1, write, (signed_value, data_in, unsigned_value), answers_value)                                         \
  X(2, exit, (signed_value), answers_value)                                                                   \
  X(3, read, (signed_value, data_out, unsigned_value), answers_value)                                         \
  X(4, open, (path, open_flags, bits), answers_value)                                                         \
  X(5, close, (signed_value), answers_value)                                                                  \
  X(6, getkey, (), answers_value)                                                                             \
  X(21, writefile, (path, data_in, unsigned_value), answers_value)                                            \
  X(22, usleep, (unsigned_value), answers_value)                                                              \
  X(49, mkdir, (path), answers_value)                                                                         \
  X(50, unlink, (path), answers_value)                                                                        \
  X(51, rmdir, (path), answers_value)                                                                         \
  X(52, getcwd, (path_out, unsigned_value, signed_value), answers_value)                                      \
  X(53, vornfs_stream_begin, (path), answers_value)                                                           \
  X(54, vornfs_stream_write, (signed_value, data_in, unsigned_value), answers_value)                           \
  X(55, vornfs_stream_end, (signed_value), answers_value)                                                     \
  X(84, repair_dirents, (path), answers_value)                                                                \
  X(95, chdir, (path), answers_value)                                                                         \
  X(98, mmap, (address, unsigned_value, protection, map_flags, signed_value, signed_value), answers_address)   \
  X(99, munmap, (address, unsigned_value, signed_value), answers_value)                                       \
  X(110, lseek, (signed_value, signed_value, whence), answers_value)                                          \
  X(124, pipe, (pipe_ends), answers_value)                                                                    \
  X(125, mkfifo, (path), answers_value)                                                                       \
  X(126, dup, (signed_value), answers_value)                                                                  \
  X(127, dup2, (signed_value, signed_value, signed_value), answers_value)                                     \
  X(128, fd_set_inherit, (signed_value), answers_value)                                                       \
  X(129, fd_set_stdio, (signed_value, signed_value, signed_value), answers_value)                             \
  X(130, fd_set_nonblock, (signed_value, signed_value, signed_value), answers_value)                          \
  X(131, spawn, (path, address, signed_value), answers_value)                                                 \
  X(132, waitpid, (signed_value, address, signed_value), answers_value)                                       \
  X(150, spawn_ex, (spawn_record, signed_value), answers_value)

#ifdef __cplusplus
#include <stdint.h>

namespace vornos::abi {

/* call::open is 4. */
namespace call {
#define VORNOS_ABI_CALL_NUMBER(number, name, arguments, answer) inline constexpr uint32_t name = number;
VORNOS_ABI_CALLS(VORNOS_ABI_CALL_NUMBER)
#undef VORNOS_ABI_CALL_NUMBER
}  // namespace call

/* The list's argument and answer words, as values. */
namespace signature {
enum Argument : uint8_t {
  none,  // no more arguments
  signed_value,
  unsigned_value,
  address,
  bits,
  path,
  data_in,
  data_out,
  path_out,
  open_flags,
  whence,
  protection,
  map_flags,
  pipe_ends,
  spawn_record,
};
enum Answer : uint8_t { answers_value, answers_address };
}  // namespace signature

inline constexpr int kMostCallArguments = 6;

struct CallSignature {
  uint32_t number;
  const char* name;
  signature::Argument arguments[kMostCallArguments];  // none after the last
  signature::Answer answer;
};

namespace signature {
#define VORNOS_ABI_UNPARENTHESIZED(...) __VA_ARGS__
#define VORNOS_ABI_CALL_SIGNATURE(number, name, arguments, answer) \
  {number, #name, {VORNOS_ABI_UNPARENTHESIZED arguments}, answer},
inline constexpr CallSignature kCalls[] = {VORNOS_ABI_CALLS(VORNOS_ABI_CALL_SIGNATURE)};
#undef VORNOS_ABI_CALL_SIGNATURE
#undef VORNOS_ABI_UNPARENTHESIZED
}  // namespace signature

/* Every call of the list, in the order of its numbers. */
inline constexpr auto& kCalls = signature::kCalls;

/* The row of call `number`, or null for a number the list does not have. */
constexpr const CallSignature* find_call(uint32_t number) {
  for (const CallSignature& row : kCalls) {
    if (row.number == number) return &row;
  }
  return nullptr;
}

}  // namespace vornos::abi
#endif

#endif
