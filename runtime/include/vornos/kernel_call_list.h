/* The one list of the system's kernel calls, shared by the library and the stand-in kernel.
 * Only the list: the kernel, a Linux program, includes it beside Linux's own headers. */
#ifndef VORNOS_KERNEL_CALL_LIST_H
#define VORNOS_KERNEL_CALL_LIST_H

/* X(number, name) for every kernel call a program of this system makes. The library takes
 * the SYS_ names from it; the stand-in kernel takes its dispatch and its trace names. */
#define VORNOS_KERNEL_CALLS(X)  \
  X(1, write)                   \
  X(2, exit)                    \
  X(3, read)                    \
  X(4, open)                    \
  X(5, close)                   \
  X(6, getkey)                  \
  X(21, writefile)              \
  X(22, usleep)                 \
  X(49, mkdir)                  \
  X(50, unlink)                 \
  X(51, rmdir)                  \
  X(52, getcwd)                 \
  X(53, vornfs_stream_begin)    \
  X(54, vornfs_stream_write)    \
  X(55, vornfs_stream_end)      \
  X(84, repair_dirents)         \
  X(95, chdir)                  \
  X(98, mmap)                   \
  X(99, munmap)                 \
  X(110, lseek)                 \
  X(124, pipe)                  \
  X(125, mkfifo)                \
  X(126, dup)                   \
  X(127, dup2)                  \
  X(128, fd_set_inherit)        \
  X(129, fd_set_stdio)          \
  X(130, fd_set_nonblock)       \
  X(131, spawn)                 \
  X(132, waitpid)               \
  X(150, spawn_ex)

#endif
