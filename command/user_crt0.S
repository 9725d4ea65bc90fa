/* Process entry: hand the argument count and vector to main, end the process with its result. */
        .section .text.start, "ax"
        .globl _start
        .type _start, @function
_start:
        /* The loader leaves argc at the stack pointer and the argument vector just above it. */
        movl    (%esp), %eax
        leal    4(%esp), %edx
        /* main is entered as the i386 ABI wants it: 16-byte aligned stack at the call. */
        andl    $-16, %esp
        subl    $8, %esp
        pushl   %edx
        pushl   %eax
        call    main
        movl    %eax, (%esp)
        call    _exit
        /* _exit does not return; should it, never run past the end of the code. */
.hang:
        jmp     .hang
        .size _start, . - _start
