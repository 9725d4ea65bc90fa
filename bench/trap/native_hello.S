// A native static 32-bit Linux program doing one write and exit: the floor that
// vornos-run's own overhead is measured against.
  .globl _start
  .text
_start:
  movl $4, %eax              // Linux i386 write(1, message, 24)
  movl $1, %ebx
  movl $message, %ecx
  movl $24, %edx
  int $0x80
  movl $1, %eax              // Linux i386 exit(0)
  movl $0, %ebx
  int $0x80
  .section .rodata
message: .ascii "native: one write, exit\n"
