// Writes each string of its argument vector, each followed by a newline, then exits
// with the argument count as its status.
  .globl _start
  .text
_start:
  movl (%esp), %esi          // argc
  leal 4(%esp), %edi         // argv
  movl %esi, count
next_argument:
  testl %esi, %esi
  jz finished
  movl (%edi), %ecx          // the string
  movl %ecx, %edx
measure:
  cmpb $0, (%edx)
  je measured
  incl %edx
  jmp measure
measured:
  subl %ecx, %edx            // its length
  movl $1, %eax
  movl $1, %ebx
  int $0x80
  movl $1, %eax              // the newline
  movl $1, %ebx
  movl $newline, %ecx
  movl $1, %edx
  int $0x80
  addl $4, %edi
  decl %esi
  jmp next_argument
finished:
  movl $2, %eax
  movl count, %ebx
  int $0x80
  .section .rodata
newline: .ascii "\n"
  .data
count: .long 0
