// The child side of the process tests, copied onto the scratch volume as /helper and
// started by processes_test (or the script) with a mode and its arguments.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

int put(int fd, const char* text) { return write(fd, text, strlen(text)); }

// Reads descriptor 0 to its end; answers how many bytes came.
int drain() {
  static char buffer[4096];
  int total = 0;
  for (int got; (got = read(0, buffer, sizeof buffer)) > 0;) total += got;
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  const char* arg = argc > 2 ? argv[2] : "";
  if (strcmp(mode, "write") == 0) {  // late: the reader is already waiting when the bytes come
    usleep(20000);
    return put(1, arg) > 0 ? 0 : 1;
  }
  if (strcmp(mode, "exit") == 0) return atoi(arg);
  if (strcmp(mode, "crash") == 0) return *reinterpret_cast<volatile int*>(16);
  if (strcmp(mode, "fifo-write") == 0) return put(open(arg, O_WRONLY), argv[3]) > 0 ? 0 : 1;
  if (strcmp(mode, "fds") == 0) {  // 0 when descriptor N is open for writing, else 9
    put(1, "1");
    return put(atoi(arg), "N") > 0 ? 0 : 9;
  }
  if (strcmp(mode, "wait-stdin") == 0) return drain() == 0 ? 0 : 1;
  if (strcmp(mode, "keys") == 0) {  // echoes every key, then "!" at the end of input
    for (int key; (key = getkey()) >= 0;) write(1, &key, 1);
    return put(1, "!") > 0 ? 0 : 1;
  }
  // A child that waits on the runner's input, which never comes; "hang" waits for it,
  // "leave-child" sleeps while the child waits, then ends before it with status 3.
  if (strcmp(mode, "leave-child") == 0 || strcmp(mode, "hang") == 0) {
    char* child[] = {argv[0], const_cast<char*>("wait-stdin")};
    const int id = spawn("/helper", child, 2);
    if (strcmp(mode, "hang") == 0) return waitpid(id, nullptr, 0);
    usleep(50000);
    return id > 0 ? 3 : 100;
  }
  put(1, "unknown mode\n");
  return 2;
}
