/* Measuring, memory-block, comparing, copying, searching, duplicating and tokenizing. */
#ifndef VORNOS_STRING_H
#define VORNOS_STRING_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

size_t strlen(const char *s);
size_t strnlen(const char *s, size_t n);
void *memcpy(void *d, const void *s, size_t n);
void *memmove(void *d, const void *s, size_t n);
void *memset(void *d, int c, size_t n);
int memcmp(const void *a, const void *b, size_t n);
/* The first or (memrchr) the last of n bytes equal to the low byte of c, or null. */
void *memchr(const void *s, int c, size_t n);
void *memrchr(const void *s, int c, size_t n);

int strcmp(const char *a, const char *b);
int strncmp(const char *a, const char *b, size_t n);
char *strcpy(char *d, const char *s);
char *strncpy(char *d, const char *s, size_t n);
char *strcat(char *d, const char *s);
char *strncat(char *d, const char *s, size_t n);
char *strchr(const char *s, int c);
char *strrchr(const char *s, int c);
char *strstr(const char *h, const char *k);
char *strdup(const char *s);
char *strndup(const char *s, size_t n);
int strcasecmp(const char *a, const char *b);
int strncasecmp(const char *a, const char *b, size_t n);
char *strtok(char *s, const char *delims);
/* Runs of bytes in (strspn) or out of (strcspn) a set, and the first byte in it (strpbrk);
 * a null string or set counts as empty. */
size_t strspn(const char *s, const char *accept);
size_t strcspn(const char *s, const char *reject);
char *strpbrk(const char *s, const char *accept);

char *strerror(int code);

#ifdef __cplusplus
}
#endif

#endif
