// C++ as programs expect it: static constructors run before main in their order (this program
// has some, so it is linked with the start-up that runs them), structured bindings on pair,
// tuple and array, and the algorithms, iterators and limits of the C++ headers.
#include <algorithm>
#include <array>
#include <cassert>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <tuple>
#include <utility>

#include "vtest.h"

namespace {

// Objects with dynamic initialisation, which record the order their constructors ran in.
int g_constructed[3];
int g_constructions;
// Opaque to the optimiser, which would otherwise run the constructors at compile time and leave
// the start-up nothing to do.
[[gnu::noinline]] int record(int id) {
  asm volatile("" ::: "memory");
  g_constructed[g_constructions++] = id;
  return id;
}
struct Registered {
  int id;
  explicit Registered(int value) : id(record(value)) {}
};
Registered g_first(1);
Registered g_second(2);
int g_computed = record(3) * 10;  // a plain variable with a computed value is one too
// A function marked constructor runs too; its place among the objects of this file is not fixed.
int g_constructor_function_runs;
[[gnu::constructor]] void constructor_function() {
  asm volatile("" ::: "memory");
  ++g_constructor_function_runs;
}

int sum_of(int count, ...) {
  va_list args;
  va_start(args, count);
  int sum = 0;
  for (int i = 0; i < count; ++i) sum += va_arg(args, int);
  va_end(args);
  return sum;
}

}  // namespace

TEST(Cxx, StaticConstructorsRanBeforeMainInOrder) {
  const int order[] = {1, 2, 3};  // the order of definition
  EXPECT_EQ(g_constructions, 3);
  EXPECT_EQ(g_constructor_function_runs, 1);
  EXPECT_BYTES(g_constructed, order, sizeof order);
  EXPECT_EQ(g_first.id + g_second.id, 3);
  EXPECT_EQ(g_computed, 30);
}

TEST(Cxx, StructuredBindings) {
  auto [a, b] = std::pair<int, long>(3, 4);
  EXPECT_EQ(a + b, 7);
  std::pair<int, char> p(5, 'x');
  auto& [number, letter] = p;
  number = 6;
  EXPECT_EQ(p.first, 6);
  auto [x, y, z] = std::make_tuple(1, 'c', 2LL);
  EXPECT_EQ(x + y + z, 1 + 'c' + 2);
  std::tuple<int, long> t(1, 2);
  auto& [first, second] = t;
  first = 9;
  EXPECT_EQ(std::get<0>(t), 9);
  EXPECT_EQ(std::get<long>(t), 2);
  auto [u, v, w] = std::array<int, 3>{7, 8, 9};
  EXPECT_EQ(u * 100 + v * 10 + w, 789);
}

TEST(Cxx, TupleTieCompareApply) {
  int a = 0, c = 0;
  std::tie(a, std::ignore, c) = std::make_tuple(1, 2, 3);
  EXPECT_EQ(a * 10 + c, 13);
  EXPECT_TRUE(std::make_tuple(1, 2) == std::make_tuple(1, 2));
  EXPECT_TRUE(std::make_tuple(1, 2) < std::make_tuple(1, 3));
  EXPECT_TRUE(!(std::make_tuple(2, 0) < std::make_tuple(1, 9)));
  EXPECT_EQ(std::apply([](int p, int q) { return p - q; }, std::make_tuple(10, 4)), 6);
  static_assert(std::tuple_size_v<std::tuple<int, char, long>> == 3);
  static_assert(std::is_same_v<std::tuple_element_t<1, const std::pair<int, char>>, const char>);
}

TEST(Cxx, Algorithms) {
  int values[] = {5, 3, 9, 1, 7, 3, 8};
  std::sort(std::begin(values), std::end(values));
  const int sorted[] = {1, 3, 3, 5, 7, 8, 9};
  EXPECT_BYTES(values, sorted, sizeof sorted);
  EXPECT_EQ(std::lower_bound(values, values + 7, 3) - values, 1);
  EXPECT_EQ(std::upper_bound(values, values + 7, 3) - values, 3);
  EXPECT_EQ(std::lower_bound(values, values + 7, 10) - values, 7);
  EXPECT_TRUE(std::binary_search(values, values + 7, 8) && !std::binary_search(values, values + 7, 4));
  EXPECT_EQ(std::find(values, values + 7, 7) - values, 4);
  EXPECT_EQ(std::find(values, values + 7, 4) - values, 7);
  EXPECT_EQ(std::count(values, values + 7, 3), 2);
  EXPECT_EQ(std::min(4, 2), 2);
  EXPECT_EQ(std::max({4, 9, 2}), 9);
  EXPECT_EQ(*std::max_element(values, values + 7), 9);
  int copy[9] = {0};
  EXPECT_EQ(std::copy(values, values + 7, copy + 1) - copy, 8);
  const int copied[] = {0, 1, 3, 3, 5, 7, 8, 9, 0};  // a zero canary on each side
  EXPECT_BYTES(copy, copied, sizeof copied);
  std::fill(copy + 2, copy + 4, -1);
  EXPECT_TRUE(copy[1] == 1 && copy[2] == -1 && copy[3] == -1 && copy[4] == 5);
  int a = 1, b = 2;
  std::swap(a, b);
  EXPECT_EQ(a * 10 + b, 21);
  std::reverse(values, values + 7);
  EXPECT_EQ(values[0] * 10 + values[6], 91);
  std::sort(values, values + 7, [](int p, int q) { return p > q; });  // with a comparator
  EXPECT_TRUE(std::is_sorted(values, values + 7, [](int p, int q) { return p > q; }));
  EXPECT_EQ(std::unique(values, values + 7) - values, 6);
  // A larger reversed range, against the rule: element i holds i afterwards.
  static int many[500];
  for (int i = 0; i < 500; ++i) many[i] = 499 - i;
  std::sort(many, many + 500);
  int misplaced = 0;
  for (int i = 0; i < 500; ++i) misplaced += many[i] != i;
  EXPECT_EQ(misplaced, 0);
}

TEST(Cxx, IteratorsLimitsAndTheCHeaders) {
  int values[] = {1, 2, 3, 4};
  std::reverse_iterator<int*> back = std::rbegin(values);
  EXPECT_EQ(*back, 4);
  EXPECT_EQ(*std::next(back, 2), 2);
  EXPECT_EQ(std::distance(std::rbegin(values), std::rend(values)), 4);
  EXPECT_EQ(std::size(values), 4u);
  static_assert(std::numeric_limits<int>::max() == INT_MAX && std::numeric_limits<long long>::min() == LLONG_MIN);
  static_assert(std::numeric_limits<unsigned char>::digits == CHAR_BIT);
  EXPECT_EQ(sum_of(3, 10, 20, 30), 60);
  EXPECT_TRUE(std::isdigit('7') && !std::isalpha('7') && std::toupper('q') == 'Q');
  assert(sum_of(0) == 0);  // a true assertion does nothing
}
