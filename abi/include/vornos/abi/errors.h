/* The error numbers the kernel answers with, negated, and the library names in errno.h: one row
 * per code, X(number, NAME, kernel constant, text). errno.h is made from this list when the
 * SDK is built; the kernel takes its result constants and the trace its names from it. The
 * numbers are Linux's, so that a host failure's errno can be handed on as it is. */
#ifndef VORNOS_ABI_ERRORS_H
#define VORNOS_ABI_ERRORS_H

/* abi/make_errno_header.cmake reads errno.h out of these rows: keep each in this form. */
#define VORNOS_ABI_ERRORS(X)                                                            \
  X(1, EPERM, kNotPermitted, "operation not permitted")                                 \
  X(2, ENOENT, kNoSuchFile, "no such file or directory")                                \
  X(4, EINTR, kInterrupted, "interrupted")                                              \
  X(5, EIO, kIoError, "input/output error; an unreadable or inconsistent volume")       \
  X(7, E2BIG, kArgumentsTooLong, "argument list too long")                              \
  X(8, ENOEXEC, kNotExecutable, "not a program the system can run")                     \
  X(9, EBADF, kBadDescriptor, "descriptor not open, or not open for this")              \
  X(10, ECHILD, kNoChild, "no such child")                                              \
  X(11, EAGAIN, kTryAgain, "try again: nothing to read or no room yet")                 \
  X(12, ENOMEM, kOutOfMemory, "out of memory")                                          \
  X(13, EACCES, kAccessDenied, "permission denied")                                     \
  X(14, EFAULT, kBadAddress, "bad address")                                             \
  X(16, EBUSY, kBusy, "in use")                                                         \
  X(17, EEXIST, kExists, "already exists")                                              \
  X(20, ENOTDIR, kNotDirectory, "not a directory")                                      \
  X(21, EISDIR, kIsDirectory, "is a directory")                                         \
  X(22, EINVAL, kInvalidArgument, "invalid argument")                                   \
  X(24, EMFILE, kTooManyOpenFiles, "too many open descriptors")                         \
  X(27, EFBIG, kFileTooBig, "file too large")                                           \
  X(28, ENOSPC, kNoSpace, "no space left on the volume")                                \
  X(29, ESPIPE, kIllegalSeek, "not seekable")                                           \
  X(30, EROFS, kReadOnlyVolume, "read-only volume")                                     \
  X(32, EPIPE, kBrokenPipe, "pipe without a reader")                                    \
  X(33, EDOM, kOutOfDomain, "argument out of the function's domain")                    \
  X(34, ERANGE, kOutOfRange, "result out of range")                                     \
  X(36, ENAMETOOLONG, kNameTooLong, "name too long")                                    \
  X(38, ENOSYS, kNotImplemented, "call not implemented, or no volume attached")         \
  X(39, ENOTEMPTY, kNotEmpty, "directory not empty")                                    \
  X(75, EOVERFLOW, kOverflow, "value too large for its type")                           \
  X(84, EILSEQ, kIllegalByteSequence, "illegal byte sequence")

/* Names that are another code's second name: NAME, the code it names. */
#define VORNOS_ABI_ERROR_ALIASES(X) X(EWOULDBLOCK, EAGAIN)

#ifdef __cplusplus
#include <stdint.h>

namespace vornos::abi {

/* The results as a call answers them: kNoSuchFile is -2. The NAME column is only ever turned into
 * a string here: in the kernel, a Linux program, the same names are the host's errno macros. */
namespace error {
#define VORNOS_ABI_ERROR_RESULT(number, name, constant, text) inline constexpr int32_t constant = -(number);
VORNOS_ABI_ERRORS(VORNOS_ABI_ERROR_RESULT)
#undef VORNOS_ABI_ERROR_RESULT
}  // namespace error

struct ErrorInfo {
  int32_t number;  // positive, as errno holds it
  const char* name;
  const char* text;
};

inline constexpr ErrorInfo kErrors[] = {
#define VORNOS_ABI_ERROR_INFO(number, name, constant, text) {number, #name, text},
    VORNOS_ABI_ERRORS(VORNOS_ABI_ERROR_INFO)
#undef VORNOS_ABI_ERROR_INFO
};

/* The row of an error result (-2), or null for a value no row has. */
constexpr const ErrorInfo* find_error_result(int32_t result) {
  for (const ErrorInfo& info : kErrors) {
    if (-info.number == result) return &info;
  }
  return nullptr;
}

}  // namespace vornos::abi
#endif

#endif
