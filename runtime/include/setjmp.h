/* Non-local jumps: setjmp saves the registers the i386 convention asks a function to keep
 * (ebx, esi, edi, ebp), the stack pointer and the return address; longjmp restores them and
 * makes that setjmp return again, with its value (1 in place of 0). There are no signals, so
 * there is no signal mask to save. */
#ifndef VORNOS_SETJMP_H
#define VORNOS_SETJMP_H

#ifdef __cplusplus
extern "C" {
#endif

typedef int jmp_buf[6];

int setjmp(jmp_buf env) __attribute__((returns_twice));
void longjmp(jmp_buf env, int value) __attribute__((noreturn));

#ifdef __cplusplus
}
#endif

#endif
