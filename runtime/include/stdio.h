/* Streams and the two formatters. */
#ifndef VORNOS_STDIO_H
#define VORNOS_STDIO_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

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

extern FILE *stdin;
extern FILE *stdout;
extern FILE *stderr;

int printf(const char *format, ...);
int fprintf(FILE *stream, const char *format, ...);
int vfprintf(FILE *stream, const char *format, va_list args);

int snprintf(char *buffer, size_t size, const char *format, ...);
int vsnprintf(char *buffer, size_t size, const char *format, va_list args);
int sprintf(char *buffer, const char *format, ...);
int vsprintf(char *buffer, const char *format, va_list args);

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
