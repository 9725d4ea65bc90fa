// The native yardstick of the pipe benchmark: a child writes 64 MiB into a Linux pipe in
// 64 KiB writes, the parent reads it all and waits for the child.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

int main() {
  constexpr size_t kTotal = 64u << 20;
  constexpr size_t kPiece = 64u << 10;
  static char buffer[kPiece];
  int ends[2];
  if (pipe(ends) != 0) return 1;
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    for (size_t done = 0; done < kTotal;) {
      const ssize_t put = write(ends[1], buffer, kPiece);
      if (put <= 0) _exit(1);
      done += static_cast<size_t>(put);
    }
    _exit(0);
  }
  close(ends[1]);
  size_t total = 0;
  for (ssize_t got; (got = read(ends[0], buffer, kPiece)) > 0;) total += static_cast<size_t>(got);
  int status = 0;
  waitpid(child, &status, 0);
  return total == kTotal && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
