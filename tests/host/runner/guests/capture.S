// Under --test-hooks: captures a write to descriptor 1, then writes the captured bytes
// itself, preceded by the count the capture reported as one byte ("6secret").
  .globl _start
  .text
_start:
  movl $0x7E57, %eax         // capture_start
  movl $3, %ebx
  int $0x80
  movl $1, %eax              // write(1, "secret", 6): captured
  movl $1, %ebx
  movl $secret, %ecx
  movl $6, %edx
  int $0x80
  movl $0x7E57, %eax         // capture_stop(buffer + 1, 64)
  movl $4, %ebx
  movl $buffer + 1, %ecx
  movl $64, %edx
  int $0x80
  movl %eax, %edx
  addb $'0', %al
  movb %al, buffer
  incl %edx
  movl $1, %eax              // write(1, buffer, count + 1)
  movl $1, %ebx
  movl $buffer, %ecx
  int $0x80
  movl $2, %eax
  movl $0, %ebx
  int $0x80
  .section .rodata
secret: .ascii "secret"
  .bss
buffer: .skip 80
