// Under --test-hooks: has its exit call answered instead of served, so the exit returns
// and the program halts (a privileged instruction: SIGSEGV at the hlt).
  .globl _start
  .text
_start:
  movl $0x7E57, %eax         // script: answer the next exit with 0
  movl $5, %ebx
  movl $answer, %ecx
  int $0x80
  testl %eax, %eax
  jnz not_scripted
  movl $2, %eax              // exit(5), which comes back
  movl $5, %ebx
  int $0x80
  hlt
not_scripted:
  movl $2, %eax
  movl $9, %ebx
  int $0x80
  .data
answer: .long 2, 1, 0, 0, 0   // number 2 (exit), kind result, value 0
