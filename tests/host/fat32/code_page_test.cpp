// Short names as bytes of an OEM code page: the pages' characters and case, short names read, new names
// stored bare or given an alias, and names compared without regard to case.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fat32/code_page.h"
#include "fat32/names.h"
#include "fat32/new_names.h"
#include "fat32/text.h"

namespace vornos::fat32 {
namespace {

// Names shown in failures as UTF-8, short names as their bytes.
std::string shown(std::u16string_view name) { return utf16_to_utf8(name); }
std::string bytes_of(const ShortName& name) { return std::string(name.begin(), name.end()); }

TEST(CodePage, BytesStandForThePagesCharacters) {
  const struct { const CodePage& page; uint8_t byte; char16_t c; } rows[] = {
      {kCodePage437, 'A', u'A'},       {kCodePage437, 0x80, u'\u00C7'}, {kCodePage437, 0xE5, u'\u03C3'},
      {kCodePage437, 0xFF, u'\u00A0'}, {kCodePage850, 0x9B, u'\u00F8'}, {kCodePage850, 0xD5, u'\u0131'},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.page.decode(row.byte), row.c) << row.page.number() << " byte " << int(row.byte);
    uint8_t byte = 0;
    EXPECT_TRUE(row.page.encode(row.c, byte) && byte == row.byte) << row.page.number() << " byte " << int(row.byte);
  }
  // 850 holds every Latin-1 character, 437 does not (no capital A with acute).
  for (char16_t c = 0xA0; c <= 0xFF; ++c) {
    uint8_t byte = 0;
    EXPECT_TRUE(kCodePage850.encode(c, byte)) << int(c);
  }
  uint8_t byte = 0;
  EXPECT_FALSE(kCodePage437.encode(u'\u00C1', byte));
  EXPECT_FALSE(kCodePage850.encode(u'\u20AC', byte)) << "no euro sign in 850";
  EXPECT_EQ(find_code_page(850), &kCodePage850);
  EXPECT_EQ(find_code_page(437), &kCodePage437);
  EXPECT_EQ(find_code_page(1252), nullptr);
  EXPECT_EQ(&kDefaultCodePage, &kCodePage437);
}

TEST(CodePage, CaseStaysWithinThePage) {
  const struct { const CodePage& page; uint8_t byte, upper, lower; } rows[] = {
      {kCodePage437, 'a', 'A', 'a'},    {kCodePage437, 'Q', 'Q', 'q'},    {kCodePage437, '~', '~', '~'},
      {kCodePage437, 0x81, 0x9A, 0x81}, {kCodePage437, 0x9A, 0x9A, 0x81}, {kCodePage437, 0x82, 0x90, 0x82},
      {kCodePage437, 0xA0, 0xA0, 0xA0},  // a with acute: the page lacks its capital
      {kCodePage437, 0xE5, 0xE4, 0xE5}, {kCodePage437, 0xED, 0xE8, 0xED},  // sigma and phi pair up
      {kCodePage437, 0xE2, 0xE2, 0xE2},  // capital gamma: no small one in the page
      {kCodePage437, 0xE1, 0xE1, 0xE1}, {kCodePage850, 0xA0, 0xB5, 0xA0}, {kCodePage850, 0xB5, 0xB5, 0xA0},
      {kCodePage850, 0xD5, 0xD5, 0xD5},  // the dotless i never becomes ASCII 'I'
      {kCodePage850, 0x98, 0x98, 0x98},  // y with diaeresis: no capital in the page
      {kCodePage850, 0xE4, 0xE5, 0xE4}, {kCodePage850, 0xD0, 0xD1, 0xD0}, {kCodePage850, 0x9B, 0x9D, 0x9B},
      {kCodePage850, 0x49, 0x49, 0x69},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.page.upper(row.byte), row.upper) << row.page.number() << " byte " << int(row.byte);
    EXPECT_EQ(row.page.lower(row.byte), row.lower) << row.page.number() << " byte " << int(row.byte);
  }
}

ShortEntry short_entry(const char (&name)[kShortNameSize + 1], uint8_t nt_case) {
  ShortEntry e{};
  std::memcpy(e.name, name, kShortNameSize);
  e.nt_case = nt_case;
  return e;
}

TEST(CodePage, ShortNamesReadAsThePagesCharacters) {
  const struct { const CodePage& page; char bytes[12]; uint8_t nt_case; std::u16string_view text; } rows[] = {
      {kCodePage850, "NA\xD8VE   DOC", 0x18, u"na\u00EFve.doc"},  // as mtools writes it
      {kCodePage437, "NA\xD8VE   DOC", 0x18, u"na\u256Ave.doc"},  // the same bytes in another page
      {kCodePage437, "\x9A       TXT", 0x18, u"\u00FC.txt"},
      {kCodePage850, "\x9A       TXT", 0x00, u"\u00DC.TXT"},
      {kCodePage437, "\x05" "BC     TXT", 0x08, u"\u03C3bc.TXT"},  // 0x05 stands for 0xE5
      {kCodePage850, "\x05" "BC     TXT", 0x08, u"\u00F5bc.TXT"},
      {kCodePage437, "\xE2       TXT", 0x10, u"\u0393.txt"},        // no small gamma to lower it to
      {kCodePage437, "README  TXT", 0x10, u"README.txt"},
      {kCodePage437, "A\x81" "B        ", 0x00, u"A\u00FCB"},     // a small letter left as stored
  };
  for (const auto& row : rows) {
    EXPECT_EQ(shown(short_name_text(short_entry(row.bytes, row.nt_case), row.page)), shown(row.text)) << row.bytes;
  }
}

TEST(CodePage, NewNamesThatFitThePageAreStoredAsShortNamesAlone) {
  const struct { const CodePage& page; std::u16string_view name; const char* bytes; uint8_t nt_case; } rows[] = {
      {kCodePage850, u"na\u00EFve.doc", "NA\xD8VE   DOC", 0x18},  // as mtools stores them
      {kCodePage437, u"\u00FC.txt", "\x9A       TXT", 0x18},
      {kCodePage850, u"\u00E1.txt", "\xB5       TXT", 0x18},
      {kCodePage437, u"\u0393.txt", "\xE2       TXT", 0x10},
      {kCodePage437, u"\u00E9.TXT", "\x90       TXT", 0x08},
      {kCodePage437, u"\u00DF.TXT", "\xE1       TXT", 0x00},  // no case at all
      {kCodePage850, u"\u00D5.txt", "\x05       TXT", 0x10},  // 0xE5 first is written 0x05
      {kCodePage850, u"\u00F5\u00F5", "\x05\xE5      " "   ", 0x08},
      {kCodePage437, u"README.TXT", "README  TXT", 0x00},
      {kCodePage437, u"readme.TXT", "README  TXT", 0x08},
      {kCodePage437, u"A-1", "A-1        ", 0x00},
      {kCodePage437, u"na\u00EFve.doc", nullptr, 0},    // the page lacks the capital I with diaeresis
      {kCodePage437, u"\u00E1.txt", nullptr, 0},        // ... the capital A with acute
      {kCodePage850, u"\u0131.txt", nullptr, 0},        // the dotless i's capital is ASCII 'I'
      {kCodePage437, u"\u00B5.txt", nullptr, 0},        // the micro sign's capital is Greek
      {kCodePage437, u"\u0393a.txt", nullptr, 0},       // a part in mixed case
      {kCodePage437, u"\u20AC.txt", nullptr, 0},        // not in the page at all
      {kCodePage437, u"a b.txt", nullptr, 0},
      {kCodePage437, u"a.b.c", nullptr, 0},
      {kCodePage437, u"abcdefghi", nullptr, 0},
  };
  for (const auto& row : rows) {
    ShortName out;
    uint8_t nt_case = 0xFF;
    const bool bare = plain_short_name(row.name, row.page, out, nt_case);
    EXPECT_EQ(bare, row.bytes != nullptr) << row.page.number() << " " << shown(row.name);
    if (!bare || row.bytes == nullptr) continue;
    EXPECT_EQ(bytes_of(out), std::string(row.bytes, kShortNameSize)) << shown(row.name);
    EXPECT_EQ(nt_case, row.nt_case) << shown(row.name);
  }
}

TEST(CodePage, AliasesAreMadeOfThePagesUpperCase) {
  const struct {
    const CodePage& page;
    std::u16string_view name;
    std::vector<std::string> taken;
    const char* alias;
  } rows[] = {
      {kCodePage850, u"\u00DCn\u00EFcode.tar.gz", {}, "\x9AN\xD8" "COD~1GZ "},  // as mtools makes it
      {kCodePage437, u"\u00DCn\u00EFcode.tar.gz", {}, "\x9AN_COD~1GZ "},
      {kCodePage850, u"\u00FF long name.txt", {}, "_LONGN~1TXT"},
      {kCodePage850, u"\u00F5 long.txt", {}, "\x05LONG~1 TXT"},   // 0xE5 first is written 0x05
      {kCodePage850, u"\u0131i long.txt", {}, "IILONG~1TXT"},
      {kCodePage437, u"Stra\u00DFe lang.txt", {}, "STRA\xE1" "E~1TXT"},
      {kCodePage437, u"\u20AC rate.txt", {}, "_RATE~1 TXT"},
      // A short name stored in small letters by another system takes its place in any case.
      {kCodePage437, u"\u00DCber long.txt", {"\x81" "BERLO~1TXT"}, "\x9A" "BERLO~2TXT"},
  };
  for (const auto& row : rows) {
    TakenShortNames taken;
    for (const std::string& name : row.taken) taken.insert(taken_key(reinterpret_cast<const uint8_t*>(name.data()), row.page));
    ShortName out;
    ASSERT_TRUE(short_alias(row.name, row.page, taken, out)) << shown(row.name);
    EXPECT_EQ(bytes_of(out), std::string(row.alias, kShortNameSize)) << shown(row.name);
  }
}

TEST(CodePage, NamesCompareByTheirSimpleUpperCase) {
  const struct { std::u16string_view a, b; bool equal; } rows[] = {
      {u"caf\u00e9 Trip", u"CAF\u00c9 tRIP", true},
      {u"\u00f7[", u"\u00d7{", false},              // division and multiplication signs are no letters
      {u"bar.txt", u"car.txt", false},              // the first character counts too
      {u"\u00ff", u"\u0178", true},                 // y with diaeresis, in and out of Latin-1
      {u"\u0101\u0137\u013A\u017E", u"\u0100\u0136\u0139\u017D", true},  // Latin Extended-A, both pairings
      {u"\u0138", u"\u0139", false},                // kra has no capital
      {u"\u03C3\u03C2\u03AC", u"\u03A3\u03A3\u0386", true},  // Greek, final sigma included
      {u"\u0436\u0451", u"\u0416\u0401", true},     // Cyrillic
      {u"\u00DF", u"SS", false},                    // one character to one
  };
  for (const auto& row : rows) EXPECT_EQ(equal_ignoring_case(row.a, row.b), row.equal) << shown(row.a) << "/ " << shown(row.b);
}

}  // namespace
}  // namespace vornos::fat32
