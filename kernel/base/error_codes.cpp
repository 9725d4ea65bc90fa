// Names of the error results, for the trace.
#include "base/error_codes.h"

#include <cerrno>

namespace vornos::kernel {

std::string_view error_name(int32_t result) {
  switch (-result) {
    case EPERM: return "EPERM";
    case ENOENT: return "ENOENT";
    case EINTR: return "EINTR";
    case EIO: return "EIO";
    case E2BIG: return "E2BIG";
    case ENOEXEC: return "ENOEXEC";
    case EBADF: return "EBADF";
    case ECHILD: return "ECHILD";
    case EAGAIN: return "EAGAIN";
    case ENOMEM: return "ENOMEM";
    case EACCES: return "EACCES";
    case EFAULT: return "EFAULT";
    case EBUSY: return "EBUSY";
    case EEXIST: return "EEXIST";
    case ENOTDIR: return "ENOTDIR";
    case EISDIR: return "EISDIR";
    case EINVAL: return "EINVAL";
    case EMFILE: return "EMFILE";
    case EFBIG: return "EFBIG";
    case ENOSPC: return "ENOSPC";
    case ESPIPE: return "ESPIPE";
    case ERANGE: return "ERANGE";
    case EROFS: return "EROFS";
    case EPIPE: return "EPIPE";
    case EDOM: return "EDOM";
    case ENAMETOOLONG: return "ENAMETOOLONG";
    case ENOSYS: return "ENOSYS";
    case ENOTEMPTY: return "ENOTEMPTY";
    case EOVERFLOW: return "EOVERFLOW";
    case EILSEQ: return "EILSEQ";
    default: return {};
  }
}

}  // namespace vornos::kernel
