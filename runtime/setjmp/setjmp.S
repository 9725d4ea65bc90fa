/* setjmp and longjmp for i386. The buffer's six words: ebx, esi, edi, ebp, the stack pointer
 * as setjmp's caller sees it after the return, and setjmp's return address. eax, ecx and edx
 * need no saving: a call may clobber them. */
        .section .text.setjmp, "ax"
        .globl setjmp
        .type setjmp, @function
setjmp:
        movl    4(%esp), %eax           /* the buffer */
        movl    %ebx, 0(%eax)
        movl    %esi, 4(%eax)
        movl    %edi, 8(%eax)
        movl    %ebp, 12(%eax)
        leal    4(%esp), %ecx           /* the caller's stack once the return has popped */
        movl    %ecx, 16(%eax)
        movl    (%esp), %ecx            /* where setjmp returns to */
        movl    %ecx, 20(%eax)
        xorl    %eax, %eax              /* the first return: 0 */
        ret
        .size setjmp, . - setjmp

        .section .text.longjmp, "ax"
        .globl longjmp
        .type longjmp, @function
longjmp:
        movl    4(%esp), %edx           /* the buffer */
        movl    8(%esp), %eax           /* setjmp's second result; 0 would read as the first */
        testl   %eax, %eax
        jnz     1f
        incl    %eax
1:
        movl    0(%edx), %ebx
        movl    4(%edx), %esi
        movl    8(%edx), %edi
        movl    12(%edx), %ebp
        movl    16(%edx), %esp
        jmpl    *20(%edx)
        .size longjmp, . - longjmp
        .section .note.GNU-stack, "", @progbits
