/* assert: a failed assertion writes "FILE:LINE: FUNCTION: assertion failed: EXPRESSION" on
 * descriptor 2 and ends the program with status 134, as a program killed by SIGABRT would.
 * With NDEBUG defined before this header, assert(e) evaluates nothing. The header may be
 * included again with NDEBUG changed. */
#undef assert

#ifdef NDEBUG
#define assert(expression) ((void)0)
#else
#ifdef __cplusplus
extern "C"
#endif
    void __vornos_assert_failed(const char *expression, const char *file, int line,
                                const char *function) __attribute__((noreturn));
#define assert(expression) \
  ((expression) ? (void)0 : __vornos_assert_failed(#expression, __FILE__, __LINE__, __func__))
#endif

#if !defined(__cplusplus) && !defined(static_assert)
#define static_assert _Static_assert
#endif
