/* Heap, process services, random numbers and number parsing. */
#ifndef VORNOS_STDLIB_H
#define VORNOS_STDLIB_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RAND_MAX 32767

void *malloc(size_t size);
void *calloc(size_t count, size_t size);
void *realloc(void *ptr, size_t size);
void free(void *ptr);

void exit(int status) __attribute__((noreturn));
void abort(void) __attribute__((noreturn));
int atexit(void (*handler)(void));
char *getenv(const char *name);
void srand(unsigned int seed);
int rand(void);

unsigned long strtoul(const char *s, char **end, int base);
long strtol(const char *s, char **end, int base);
int atoi(const char *s);
long atol(const char *s);
int abs(int x);
long labs(long x);

/* The standard's 64-bit parsers: sign, the six isspace blanks, bases 2-36, clamped to the
 * type's range. They leave errno alone (only the heap sets it): compare with the limits. */
long long strtoll(const char *s, char **end, int base);
unsigned long long strtoull(const char *s, char **end, int base);

/* Heapsort in place (not stable) and binary search. */
void qsort(void *base, size_t count, size_t size, int (*compare)(const void *, const void *));
void *bsearch(const void *key, const void *base, size_t count, size_t size,
              int (*compare)(const void *, const void *));

long double strtold(const char *s, char **end);
double strtod(const char *s, char **end);

#ifdef __cplusplus
}
#endif

#endif
