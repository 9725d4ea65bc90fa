/* What read answers on a directory descriptor: whole records of this layout, one per entry in
 * directory order ("." and ".." where the directory has them; never volume labels or long-name
 * slots). A read takes as many whole records as fit its count (fewer than one: -22), answers
 * fewer at the end and 0 after the last; lseek(fd, 0, 0) starts again. The entries are those of
 * the directory when the descriptor's first read, or a read from the beginning, listed it.
 * Shared by the library and the kernel. */
#ifndef VORNOS_ABI_DIRECTORY_RECORD_H
#define VORNOS_ABI_DIRECTORY_RECORD_H

#include <stddef.h>
#include <stdint.h>

#include "vornos/abi/limits.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The longest name, 255 UTF-16 units, takes at most 765 bytes of UTF-8 and its NUL. */
enum { VORNOS_DIRECTORY_NAME_BYTES = 772 };

/* The entry's attribute bits that programs read. */
enum { VORNOS_ATTRIBUTE_READ_ONLY = 0x01, VORNOS_ATTRIBUTE_DIRECTORY = 0x10 };

struct vornos_directory_record {
  uint64_t serial;      /* one number per file or directory of the volume (a directory's is the
                           same through its own entry, its "." and its children's "..") */
  uint32_t size;        /* bytes of a file; 0 for a directory */
  int32_t modified;     /* write date and time as the volume stores them (local time), in
                           seconds since 1970-01-01 00:00 of that clock; 0 when it holds none */
  uint8_t attributes;   /* the entry's attribute byte */
  uint8_t reserved;     /* 0 */
  uint16_t name_length; /* bytes of the name before its NUL */
  char name[VORNOS_DIRECTORY_NAME_BYTES]; /* UTF-8, NUL-terminated, zero-filled after it */
};

#ifdef __cplusplus
}
static_assert(VORNOS_DIRECTORY_NAME_BYTES >= 3 * vornos::abi::kLongestName + 1, "the longest name fits, in UTF-8");
static_assert(sizeof(vornos_directory_record) == 792, "a directory record is 792 bytes");
static_assert(offsetof(vornos_directory_record, size) == 8 && offsetof(vornos_directory_record, modified) == 12 &&
                  offsetof(vornos_directory_record, attributes) == 16 &&
                  offsetof(vornos_directory_record, name_length) == 18 && offsetof(vornos_directory_record, name) == 20,
              "directory record field offsets");
#endif

#endif
