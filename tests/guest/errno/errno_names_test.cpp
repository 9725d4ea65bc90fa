// errno.h: every code of the shared error list by its name, as a macro whose expansion is the
// list's number, and every second name as the code it stands for.
#include <errno.h>

#include "vornos/abi/errors.h"
#include "vtest.h"

#define SPELLED(text) #text
#define SPELLED_EXPANDED(name) SPELLED(name)

TEST(Errno, NamesEveryCodeOfTheListAsAMacro) {
  // A name that is no macro spells itself ("ENOENT") instead of the number, so that `#ifdef`
  // would miss it; a name errno.h lacks does not compile.
  const struct { const char* expansion; const char* number; } rows[] = {
#define ERRNO_ROW(number, name, constant, text) {SPELLED_EXPANDED(name), #number},
      VORNOS_ABI_ERRORS(ERRNO_ROW)
#undef ERRNO_ROW
  };
  for (const auto& row : rows) EXPECT_STREQ(row.expansion, row.number);
}

TEST(Errno, SecondNamesAreTheCodesTheyStandFor) {
  const struct { int value, meant; } aliases[] = {
#define ERRNO_ALIAS(name, meant) {name, meant},
      VORNOS_ABI_ERROR_ALIASES(ERRNO_ALIAS)
#undef ERRNO_ALIAS
  };
  for (const auto& alias : aliases) EXPECT_EQ(alias.value, alias.meant);
}
