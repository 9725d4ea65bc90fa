// The comparison corpus: documented examples and boundaries, then families of generated
// texts that drive every loop of strtold to its limits and rounding into every corner.
#include "input_corpus.h"

#include <random>
#include <string_view>

namespace vornos::strtold_reference {
namespace {

const char* const kFixedInputs[] = {
    // Documented results.
    "1.5", "-.5e1", "1.", "1.e2", "  -0x1.8p1", "0x.8", "0x1p-2", "0X10", "0x1e",
    "1e", "1e+", "1ex", "1e-x", "0x1p", "0x1p+", "1p3",
    "0x", "0xg", "0x.", "0x.p1", ".", "+", "-x", "- 5", "inf", "nan", "   0x", "\t-0x",
    "12abc", "-0", "-0x0p0", "+0", "0", "", "   ",
    "1e5000", "1e1024", "1e-5000", "1e-1024", "0x1p5000", "0x1p1024", "0x1p-5000", "0x1p-1024",
    "\v1", "\f2", "\r3", "\n4", "\t5", " 6", "\v\f\r\n\t -7.25",
    // Roundings that a correctly rounded parser would do differently.
    "0.1", "0.2", "0.3", "0.7", "1.1", "3.14159265358979323846264338327950288",
    "2.718281828459045235360287471352662497757", "123456789012345678901234567890",
    "1e-1", "1e-10", "1e-100", "1e-400", "1e-1023", "1e100", "1e308", "1e309", "1e400",
    "1.7976931348623157e308", "1.7976931348623159e308", "2.2250738585072014e-308",
    "4.9406564584124654e-324", "2.4703282292062327e-324", "2.4703282292062328e-324",
    "1.18973149535723176502e4932", "18446744073709551615", "18446744073709551616",
    "18446744073709551617", "36893488147419103231", "9007199254740993",
    "0x1.fffffffffffffffep0", "0x1.ffffffffffffffff8p0", "0x1.ffffffffffffffff9p0",
    "0xffffffffffffffff", "0x1ffffffffffffffff", "0x10000000000000001",
    "0x1.0000000000000001p0", "0x1.00000000000000008p0", "0x1.00000000000000018p0",
    "0x1p16383", "0x1p-16382", "0x1p-16445", "0x0.0000000000001p-1022",
    // Exponent forms.
    "1e+0", "1e-0", "1e00000000000000000000000000007", "1e4096", "1e4097", "1e-4096",
    "1e99999999999999999999", "1e-99999999999999999999", "0x1p99999999999999999", "0x1P+3",
    "0x1P-3", "1E3", "1E-3", "5e-1024", "9e1023", "1e2+3", "1e--2", "1e+-2", "1.5e3.5",
    "0x1.8p1.5", "0x1e+3", "0xe", "0xE", "0x1.ep1",
    // Signs, junk and partial forms.
    "--1", "+-1", "-+1", "++1", "+.5", "-.5", "-.", "-.e1", ".e1", "..1", "1..2", "0.0.0",
    "0x0x1", "00x1", "0 x1", "0X", "0Xp1", "0x.0", "0x0.", "0x.0p-1", "1 2", "1\t2", "1\n",
    "1,5", "+inf", "-nan", "infinity", "e5", "E5", "p5", "0e", "0e0", "0e-99999", "0x0p99999",
    "\xa0" "1", "\x85" "1", "1\xff", "\x0b\x0c" "0x1p1",
};

// An independent generator, seeded explicitly, so the corpus is the same on every host.
class Source {
 public:
  explicit Source(std::uint64_t seed) : engine_(seed) {}
  std::uint64_t below(std::uint64_t n) {
    return std::uniform_int_distribution<std::uint64_t>(0, n - 1)(engine_);
  }
  bool chance(unsigned percent) { return below(100) < percent; }
  char pick(std::string_view from) { return from[below(from.size())]; }
  std::string digits(std::size_t n, std::string_view from = "0123456789") {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += pick(from);
    return text;
  }
  // Lengths weighted toward the short end, with a tail up to `longest`.
  std::size_t length(std::size_t longest) {
    return chance(70) ? below(std::min<std::size_t>(longest, 25) + 1) : below(longest + 1);
  }

 private:
  std::mt19937_64 engine_;
};

constexpr std::string_view kHexDigits = "0123456789abcdefABCDEF";
constexpr std::string_view kBlanks = " \t\n\v\f\r";

std::string leading(Source& source) {
  std::string text;
  if (source.chance(15)) text += source.digits(1 + source.below(4), kBlanks);
  if (source.chance(35)) text += source.pick("+-");
  return text;
}

std::string exponent(Source& source, char marker, std::int64_t largest) {
  if (!source.chance(60)) return "";
  std::string text(1, source.chance(80) ? marker : static_cast<char>(marker - 32));
  if (source.chance(50)) text += source.pick("+-");
  if (source.chance(10)) text += std::string(source.below(5), '0');
  text += std::to_string(source.below(static_cast<std::uint64_t>(largest) + 1));
  return text;
}

std::string trailing(Source& source) {
  return source.chance(20) ? source.digits(1 + source.below(3), "xyz.+-eEpP gG,") : "";
}

std::string decimal_text(Source& source, std::size_t longest_integer, std::size_t longest_fraction,
                         std::int64_t largest_exponent) {
  std::string text = leading(source);
  std::string integer = source.digits(source.length(longest_integer));
  if (source.chance(20) && !integer.empty()) integer[0] = '0';
  const bool point = source.chance(70);
  std::string fraction = point ? source.digits(source.length(longest_fraction)) : "";
  if (integer.empty() && fraction.empty()) integer = "0";
  text += integer;
  if (point) text += "." + fraction;
  return text + exponent(source, 'e', largest_exponent) + trailing(source);
}

std::string hexadecimal_text(Source& source, std::size_t longest_integer,
                             std::size_t longest_fraction, std::int64_t largest_exponent) {
  std::string text = leading(source) + (source.chance(80) ? "0x" : "0X");
  std::string integer = source.digits(source.length(longest_integer), kHexDigits);
  const bool point = source.chance(60);
  std::string fraction = point ? source.digits(source.length(longest_fraction), kHexDigits) : "";
  if (integer.empty() && fraction.empty()) integer = "1";
  text += integer;
  if (point) text += "." + fraction;
  return text + exponent(source, 'p', largest_exponent) + trailing(source);
}

// Short texts over the characters that mean something to the parser: every partial form.
std::string fragment_text(Source& source) {
  return source.digits(1 + source.below(12), "0123456789abcdefxXpPeE.+- \t\v\f\r\n0000111");
}

}  // namespace

std::vector<std::string> comparison_inputs(std::uint64_t seed) {
  std::vector<std::string> inputs(std::begin(kFixedInputs), std::end(kFixedInputs));
  Source source(seed);

  // The caps: fraction digit counts and exponents right around 1024, exponents around 4096.
  for (std::size_t n : {1000u, 1022u, 1023u, 1024u, 1025u, 1026u, 1100u, 2000u}) {
    inputs.push_back("0." + std::string(n - 1, '0') + "1");
    inputs.push_back("0." + source.digits(n));
    inputs.push_back(source.digits(3) + "." + source.digits(n) + "e" +
                     std::to_string(source.below(40)));
    inputs.push_back("0x0." + std::string(n - 1, '0') + "1");
    inputs.push_back("0x." + source.digits(n, kHexDigits) + "p-" +
                     std::to_string(source.below(2000)));
    inputs.push_back("0x" + source.digits(4, kHexDigits) + "." + source.digits(n, kHexDigits));
  }
  for (int e : {1020, 1023, 1024, 1025, 2000, 4095, 4096, 4097, 40960, 99999}) {
    for (const char* sign : {"", "-", "+"}) {
      inputs.push_back("7e" + std::string(sign) + std::to_string(e));
      inputs.push_back("0x1.3p" + std::string(sign) + std::to_string(e));
      inputs.push_back("12345678901234567890.5e" + std::string(sign) + std::to_string(e));
    }
  }
  // Integer parts long enough to overflow: 10^4932 and 16^4096 are past the format's range.
  for (std::size_t n : {4930u, 4932u, 4933u, 4934u, 5000u}) {
    inputs.push_back("9" + source.digits(n - 1));
  }
  for (std::size_t n : {4095u, 4096u, 4097u}) {
    inputs.push_back("0xf" + source.digits(n - 1, kHexDigits));
  }
  inputs.push_back(std::string(3000, '9') + "e1024");
  inputs.push_back("0." + std::string(3000, '9') + "e-1024");

  for (int i = 0; i < 8000; ++i) inputs.push_back(decimal_text(source, 40, 40, 1200));
  for (int i = 0; i < 5000; ++i) inputs.push_back(hexadecimal_text(source, 24, 24, 17000));
  for (int i = 0; i < 600; ++i) inputs.push_back(decimal_text(source, 400, 1300, 5000));
  for (int i = 0; i < 400; ++i) inputs.push_back(hexadecimal_text(source, 300, 1300, 5000));
  for (int i = 0; i < 4000; ++i) inputs.push_back(fragment_text(source));
  return inputs;
}

}  // namespace vornos::strtold_reference
