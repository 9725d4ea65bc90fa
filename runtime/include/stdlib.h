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

long double strtold(const char *s, char **end);
double strtod(const char *s, char **end);

#ifdef __cplusplus
}
#endif

#endif
