// Prints the first eight results of rand without any srand, one per line, in one write.
#include <stdlib.h>
#include <unistd.h>

int main() {
  char text[8 * 7];
  unsigned used = 0;
  for (int i = 0; i < 8; ++i) {
    int value = rand();
    char digits[6];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value > 0 && n < 6);
    while (n > 0) text[used++] = digits[--n];
    text[used++] = '\n';
  }
  return write(1, text, used) == static_cast<int>(used) ? 0 : 1;
}
