// Dies of SIGSEGV on its very first instruction, a store to address 0.
  .globl _start
  .text
_start:
  movl $1, 0
  hlt
