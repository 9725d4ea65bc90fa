// Copies descriptor 0 to descriptor 1 in small reads until end of input; exit 0, or 3
// after a failed read or write.
  .globl _start
  .text
_start:
next:
  movl $3, %eax              // read(0, buffer, 7)
  movl $0, %ebx
  movl $buffer, %ecx
  movl $7, %edx
  int $0x80
  testl %eax, %eax
  jz done
  js failed
  movl %eax, %edx            // write(1, buffer, count)
  movl $1, %eax
  movl $1, %ebx
  movl $buffer, %ecx
  int $0x80
  testl %eax, %eax
  jle failed
  jmp next
done:
  movl $2, %eax
  movl $0, %ebx
  int $0x80
failed:
  movl $2, %eax
  movl $3, %ebx
  int $0x80
  .bss
buffer: .skip 16
