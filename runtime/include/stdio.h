/* Streams, the two formatters and the scanner. */
#ifndef VORNOS_STDIO_H
#define VORNOS_STDIO_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "vornos/abi/open_flags.h"

#ifdef __cplusplus
extern "C" {
#endif

#define EOF (-1)

#define SEEK_SET VORNOS_ABI_SEEK_SET
#define SEEK_CUR VORNOS_ABI_SEEK_CUR
#define SEEK_END VORNOS_ABI_SEEK_END

/* Stream kinds: a kernel descriptor, a memory stream, a file written out when closed. */
enum { STREAM_FD = 1, STREAM_MEM = 2, STREAM_FILEBUF = 3 };

/* The stream record: eleven 32-bit fields whose order the system fixes. */
typedef struct FILE {
  int kind;
  int fd;
  char *path;
  char *buf;
  unsigned int len;
  unsigned int cap;
  char **user_buf;
  size_t *user_size;
  int error;
  int32_t pos;
  int eof;
} FILE;

/* printf-style format checking; an attribute has no spelling without a macro in C. */
#define VORNOS_FORMAT(kind, format_at, first) __attribute__((format(kind, format_at, first)))

extern FILE *stdin;
extern FILE *stdout;
extern FILE *stderr;

/* The formatters and the scanner carry the compiler's format checking, so -Wall (-Wformat)
 * warns of an argument that does not match its conversion. The compiler checks the standard's
 * conversions: a format it accepts may still use one that the system's formatters lack
 * (below), so read the list.
 *
 * The stream formatter (printf, fprintf, vfprintf) is the system's own and knows less than
 * a C programmer expects:
 * - conversions %d %i %u %x %p %s %c %%, with a width (digits or *), a precision (.digits
 *   or .*), l, and ll for 64-bit integers; no flags: every field is right-aligned and padded
 *   with spaces, "%05d" is width 5 padded with spaces, and "%-5d", "%+d", "%X", "%hd", "%zu",
 *   "%o" and "%f" are no conversions and come out as written;
 * - on standard output (descriptor 1), a format that begins with %c is a console sequence:
 *   the byte 0xFF and the low bytes of the next three arguments, written at once and not
 *   counted, so printf("%c\n", 'A') does not print A (write "%s" or start with other text).
 * The buffer formatter (snprintf, sprintf, vsnprintf, vsprintf) also knows the flags '-',
 * '0' and '+', %X and the z length (all integers 32-bit there): format into a buffer with
 * snprintf and print the buffer with "%s". Neither has %o, %e, %f or %g. */
int printf(const char *format, ...) VORNOS_FORMAT(printf, 1, 2);
int fprintf(FILE *stream, const char *format, ...) VORNOS_FORMAT(printf, 2, 3);
int vfprintf(FILE *stream, const char *format, va_list args) VORNOS_FORMAT(printf, 2, 0);

int snprintf(char *buffer, size_t size, const char *format, ...) VORNOS_FORMAT(printf, 3, 4);
int vsnprintf(char *buffer, size_t size, const char *format, va_list args) VORNOS_FORMAT(printf, 3, 0);
int sprintf(char *buffer, const char *format, ...) VORNOS_FORMAT(printf, 2, 3);
int vsprintf(char *buffer, const char *format, va_list args) VORNOS_FORMAT(printf, 2, 0);

/* Unbuffered: descriptor streams write and read through the kernel at once. Only descriptor
 * streams can be read, and only descriptor 1 can be written. */
int fputc(int c, FILE *stream);
int putchar(int c);
int fputs(const char *s, FILE *stream);
int puts(const char *s);
size_t fwrite(const void *data, size_t size, size_t count, FILE *stream);
int fgetc(FILE *stream);
int getchar(void);
size_t fread(void *dest, size_t size, size_t count, FILE *stream);
int fflush(FILE *stream);
void setbuf(FILE *stream, char *buffer);
int feof(FILE *stream);
int ferror(FILE *stream);

/* Mode "r" opens a descriptor stream; "w" collects the content in memory and writes the file
 * in one piece at fclose. The path "-" names stdin or stdout. */
FILE *fopen(const char *path, const char *mode);
FILE *open_memstream(char **bufp, size_t *sizep);
int fclose(FILE *stream);
int fseek(FILE *stream, long offset, int whence);
long ftell(FILE *stream);
void rewind(FILE *stream);

/* fscanf scans one whitespace-delimited word of the stream per call. */
int sscanf(const char *str, const char *format, ...) VORNOS_FORMAT(scanf, 2, 3);
int vsscanf(const char *str, const char *format, va_list args) VORNOS_FORMAT(scanf, 2, 0);
int fscanf(FILE *stream, const char *format, ...) VORNOS_FORMAT(scanf, 2, 3);

#ifdef __cplusplus
}

/* The system's layout; a 64-bit host that builds the library to test it has wider pointers. */
#if __SIZEOF_POINTER__ == 4
static_assert(sizeof(FILE) == 44, "the stream record is eleven words");
static_assert(offsetof(FILE, kind) == 0 && offsetof(FILE, fd) == 4 && offsetof(FILE, path) == 8 &&
                  offsetof(FILE, buf) == 12 && offsetof(FILE, len) == 16 &&
                  offsetof(FILE, cap) == 20 && offsetof(FILE, user_buf) == 24 &&
                  offsetof(FILE, user_size) == 28 && offsetof(FILE, error) == 32 &&
                  offsetof(FILE, pos) == 36 && offsetof(FILE, eof) == 40,
              "stream record field offsets");
#endif
#endif

#endif
