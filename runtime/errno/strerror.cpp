// strerror: a constant text for every error number; the caller gets a pointer, never a copy.
#include <string.h>

extern "C" char* strerror(int code) {
  const char* text = "error";
  switch (code) {
    case 0: text = "ok"; break;
    case 2: text = "no such file"; break;
    case 22: text = "invalid argument"; break;
    case 38: text = "not implemented"; break;
    default: break;
  }
  return const_cast<char*>(text);
}
