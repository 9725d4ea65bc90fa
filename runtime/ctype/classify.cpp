// The character classes of the "C" locale, decided by ranges of ASCII: any other value, the
// bytes 128-255 and EOF included, is in no class.
#include <ctype.h>

namespace {

bool in_range(int c, int low, int high) { return c >= low && c <= high; }
bool is_upper(int c) { return in_range(c, 'A', 'Z'); }
bool is_lower(int c) { return in_range(c, 'a', 'z'); }
bool is_digit(int c) { return in_range(c, '0', '9'); }
bool is_alpha(int c) { return is_upper(c) || is_lower(c); }
bool is_graph(int c) { return in_range(c, '!', '~'); }

}  // namespace

extern "C" {

int isalnum(int c) { return is_alpha(c) || is_digit(c); }
int isalpha(int c) { return is_alpha(c); }
int isblank(int c) { return c == ' ' || c == '\t'; }
int iscntrl(int c) { return in_range(c, 0, 0x1f) || c == 0x7f; }
int isdigit(int c) { return is_digit(c); }
int isgraph(int c) { return is_graph(c); }
int islower(int c) { return is_lower(c); }
int isprint(int c) { return in_range(c, ' ', '~'); }
int ispunct(int c) { return is_graph(c) && !is_alpha(c) && !is_digit(c); }
// Space, and tab through carriage return: tab, newline, vertical tab, form feed, return.
int isspace(int c) { return c == ' ' || in_range(c, '\t', '\r'); }
int isupper(int c) { return is_upper(c); }
int isxdigit(int c) { return is_digit(c) || in_range(c, 'a', 'f') || in_range(c, 'A', 'F'); }

}  // extern "C"
