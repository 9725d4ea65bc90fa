// The stand-in kernel's error results: negative Linux-style numbers, as programs see them.
#pragma once

#include <cstdint>
#include <string_view>

namespace vornos::kernel {

inline constexpr int32_t kNoSuchFile = -2;
inline constexpr int32_t kIoError = -5;
inline constexpr int32_t kNotExecutable = -8;
inline constexpr int32_t kBadDescriptor = -9;
inline constexpr int32_t kAccessDenied = -13;
inline constexpr int32_t kBadAddress = -14;
inline constexpr int32_t kBusy = -16;
inline constexpr int32_t kExists = -17;
inline constexpr int32_t kNotDirectory = -20;
inline constexpr int32_t kIsDirectory = -21;
inline constexpr int32_t kInvalidArgument = -22;
inline constexpr int32_t kTooManyOpenFiles = -24;
inline constexpr int32_t kFileTooBig = -27;
inline constexpr int32_t kIllegalSeek = -29;
inline constexpr int32_t kReadOnlyVolume = -30;
inline constexpr int32_t kBrokenPipe = -32;
inline constexpr int32_t kOutOfRange = -34;
inline constexpr int32_t kNameTooLong = -36;
inline constexpr int32_t kNotImplemented = -38;
inline constexpr int32_t kOverflow = -75;

// The symbolic name of an error result ("EBADF" for -9), or an empty view for other values.
std::string_view error_name(int32_t result);

// The kernel's answer for a failed host operation: the negated host errno.
constexpr int32_t from_host_errno(int host_errno) { return -static_cast<int32_t>(host_errno); }

}  // namespace vornos::kernel
