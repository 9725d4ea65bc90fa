// The runner's test program, freestanding i386 C: argv[1] picks what it does.
//   echo ARGS...   writes each argument and a newline, then copies input to output; exit 0
//   wild           makes calls 0..400 with wild registers; exit 0 when every call left
//                  all registers but eax alone and its code intact, else the failed check
//   escape WAY F D PID  tries Linux's creat(F), mkdir(D) and kill(PID, SIGUSR1) one way
//                  into the kernel (see escape); exit 0 when all three came back
//   io             write and read with 2 GiB counts on a 64 MiB buffer; exit 0
//   spin [PATH]    repairs PATH if given, writes "ready\n", then loops forever
typedef unsigned int u32;

// Registers of one call, in and out: eax (number, then result), ebx, ecx, edx, esi, edi, ebp.
typedef u32 Regs[7];

// Each entry loads all seven registers from Regs, enters the kernel its own way and stores
// all seven back. sysenter and syscall return through the vDSO's landing pad, which pops
// ebp, edx and ecx and returns: the stub pushes what it expects.
#define ENTRY(name, enter)                                                               \
  void name(Regs r);                                                                     \
  __asm__(".text\n" #name ":\n push %ebp\n push %ebx\n push %esi\n push %edi\n"          \
          " mov 20(%esp), %eax\n push %eax\n mov 4(%eax), %ebx\n mov 8(%eax), %ecx\n"    \
          " mov 12(%eax), %edx\n mov 16(%eax), %esi\n mov 20(%eax), %edi\n"              \
          " mov 24(%eax), %ebp\n mov (%eax), %eax\n" enter "\n"                          \
          " xchg %eax, (%esp)\n mov %ebx, 4(%eax)\n mov %ecx, 8(%eax)\n mov %edx, 12(%eax)\n" \
          " mov %esi, 16(%eax)\n mov %edi, 20(%eax)\n mov %ebp, 24(%eax)\n pop %ebx\n"   \
          " mov %ebx, (%eax)\n pop %edi\n pop %esi\n pop %ebx\n pop %ebp\n ret\n")
ENTRY(by_int80, "int $0x80");
ENTRY(by_sysenter, "push $1f\n push %ecx\n push %edx\n push %ebp\n mov %esp, %ebp\n sysenter\n1:");
ENTRY(by_syscall, "push $1f\n push %ecx\n push %edx\n push %ebp\n mov %ecx, %ebp\n syscall\n1:");
ENTRY(by_vdso, "call *vsyscall");
// Far jump to the 64-bit code segment, a 64-bit call there (number from esi, arguments from
// ebx and ecx), and back.
ENTRY(by_long_mode, "push $0x33\n push $2f\n lret\n .code64\n2: mov %esi, %eax\n mov %ebx, %edi\n mov %ecx, %esi\n"
                    " syscall\n push $0x23\n push $3f\n lretq\n .code32\n3:");

// The vDSO's entry; int 0x80 where Linux maps no vDSO.
void int80_return(void);
__asm__(".text\nint80_return:\n int $0x80\n ret\n");
u32 vsyscall = (u32)int80_return;
static char buffer[64 << 20];

static u32 call(u32 number, u32 a, u32 b, u32 c) {
  Regs r = {number, a, b, c, 0, 0, 0};
  by_int80(r);
  return r[0];
}
static u32 length(const char* s) {
  u32 n = 0;
  while (s[n]) ++n;
  return n;
}
static void put(const char* s) { call(1, 1, (u32)s, length(s)); }
static int same(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

extern char etext[];
static u32 code_sum(void) {
  u32 sum = 0;
  for (const char* p = (const char*)by_int80; p < etext; ++p) sum = sum * 31 + (unsigned char)*p;
  return sum;
}

static int wild(void) {
  const u32 values[] = {0, 1, 4095, (u32)by_int80, 0xFFFFFFFF, 0xC0000000, 0x7FFFFFFF, 0x80000000};
  const u32 before = code_sum();
  for (u32 number = 0; number <= 400; ++number) {
    // exit ends the program; usleep waits as long as asked; mmap and munmap may replace or
    // remove the program's own pages, as a program that asks for that deserves.
    if (number == 2 || number == 22 || number == 98 || number == 99) continue;
    for (u32 shift = 0; shift < 8; ++shift) {
      Regs r = {number};
      for (int i = 1; i < 7; ++i) r[i] = values[(shift + i) % 8];
      by_int80(r);
      for (int i = 1; i < 7; ++i) {
        if (r[i] != values[(shift + i) % 8]) return 1;
      }
    }
  }
  return code_sum() == before ? 0 : 2;
}

static u32 number_of(const char* s) {
  u32 n = 0;
  while (*s >= '0' && *s <= '9') n = n * 10 + (u32)(*s++ - '0');
  return n;
}

// One way into the kernel (argv[2]: 0 int 0x80, 1 sysenter, 2 the vDSO, 3 syscall, 4 syscall
// in 64-bit mode) for Linux's creat(argv[3]), mkdir(argv[4]) and kill(argv[5], SIGUSR1).
static int escape(char** argv) {
  void (*const entries[])(Regs) = {by_int80, by_sysenter, by_vdso, by_syscall, by_long_mode};
  void (*const enter)(Regs) = entries[number_of(argv[2]) % 5];
  // esi: the same call's number for 64-bit mode.
  Regs create = {8, (u32)argv[3], 0644, 0, 85}, directory = {39, (u32)argv[4], 0755, 0, 83},
       kill = {37, number_of(argv[5]), 10, 0, 62};
  enter(create);
  enter(directory);
  enter(kill);
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 2) return 100;
  if (same(argv[1], "echo")) {
    for (int i = 2; i < argc; ++i) put(argv[i]), put("\n");
    for (u32 got; (int)(got = call(3, 0, (u32)buffer, 7)) > 0;) {
      if (call(1, 1, (u32)buffer, got) != got) return 3;
    }
    return 0;
  }
  if (same(argv[1], "wild")) return wild();
  if (same(argv[1], "escape") && argc == 6) return escape(argv);
  if (same(argv[1], "io")) {
    call(1, 1, (u32)buffer, 0x7FFFFFFF);
    call(3, 0, (u32)buffer, 0x80000000);
    return 0;
  }
  if (same(argv[1], "spin")) {
    if (argc > 2) call(84, (u32)argv[2], 0, 0);
    put("ready\n");
    for (;;) {
    }
  }
  return 101;
}

// Entry: argc, argv and the auxiliary vector from the stack; the vDSO's entry from AT_SYSINFO.
void start(u32* stack) {
  char** envp = (char**)stack + stack[0] + 2;
  while (*envp) ++envp;
  for (u32* aux = (u32*)(envp + 1); aux[0] != 0; aux += 2) {
    if (aux[0] == 32) vsyscall = aux[1];
  }
  call(2, (u32)main((int)stack[0], (char**)stack + 1), 0, 0);
}
__asm__(".globl _start\n_start:\n push %esp\n call start\n hlt\n");
