// mendir: asks the kernel to repair the FAT32 directory-entry flags below one path and
// reports the kernel's answer in one line.
#include <stdio.h>

#include "vornos/kernel_call.h"

int main(int argc, char** argv) {
  // The path is passed on as given: the kernel judges it, and the report names it unchanged.
  const char* path = "/";
  if (argc > 1 && argv[1] != nullptr && argv[1][0] != '\0') path = argv[1];

  const int result = vornos::kernel_call(SYS_repair_dirents, path);
  if (result >= 0) {
    printf("mendir: repaired %d entries under %s\n", result, path);
    return 0;
  }
  printf("mendir failed on %s (err %d)\n", path, result);
  return 1;
}
