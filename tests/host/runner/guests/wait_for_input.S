// Reads one byte from descriptor 0 and exits with it as its status (0 at end of input).
  .globl _start
  .text
_start:
  movl $3, %eax
  movl $0, %ebx
  movl $byte, %ecx
  movl $1, %edx
  int $0x80
  movl $2, %eax
  movzbl byte, %ebx
  int $0x80
  .bss
byte: .skip 4
