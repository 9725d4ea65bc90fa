// Checks that a kernel call changes eax only, that unknown calls (Linux's own numbers
// among them) answer -38, and that a bad pointer answers -14. Exit status 0 when all
// holds, else the number of the failed check.
  .globl _start
  .text
_start:
  movl %esp, saved_esp
  movl $0x44444444, %esi
  movl $0x55555555, %edi
  movl $0x66666666, %ebp
  movl $1, %eax              // write(1, message, 3)
  movl $1, %ebx
  movl $message, %ecx
  movl $3, %edx
  int $0x80
  cmpl $3, %eax
  jne fail_1
  cmpl $1, %ebx
  jne fail_2
  cmpl $message, %ecx
  jne fail_2
  cmpl $3, %edx
  jne fail_2
  cmpl $0x44444444, %esi
  jne fail_2
  cmpl $0x55555555, %edi
  jne fail_2
  cmpl $0x66666666, %ebp
  jne fail_2
  cmpl saved_esp, %esp
  jne fail_2

  movl $200, %eax            // not a call of the system
  int $0x80
  cmpl $-38, %eax
  jne fail_3
  movl $252, %eax            // Linux's exit_group: must never reach Linux
  movl $9, %ebx
  int $0x80
  cmpl $-38, %eax
  jne fail_4
  movl $20, %eax             // Linux's getpid
  int $0x80
  cmpl $-38, %eax
  jne fail_4

  movl $1, %eax              // write(1, NULL, 3)
  movl $1, %ebx
  movl $0, %ecx
  movl $3, %edx
  int $0x80
  cmpl $-14, %eax
  jne fail_5
  movl $3, %eax              // read(0, message, 1): read-only memory
  movl $0, %ebx
  movl $message, %ecx
  movl $1, %edx
  int $0x80
  cmpl $-14, %eax
  jne fail_6

  movl $2, %eax              // exit(0)
  movl $0, %ebx
  int $0x80
  hlt

fail_1: movl $1, %ebx
  jmp fail
fail_2: movl $2, %ebx
  jmp fail
fail_3: movl $3, %ebx
  jmp fail
fail_4: movl $4, %ebx
  jmp fail
fail_5: movl $5, %ebx
  jmp fail
fail_6: movl $6, %ebx
fail:
  movl $2, %eax
  int $0x80
  hlt

  .section .rodata
message: .ascii "ok\n"
  .data
saved_esp: .long 0
