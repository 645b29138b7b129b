// A small benchmark harness: times our code and a plain implementation of the
// same algorithm in one run, checks that the two results agree and prints
// both times and the ratio. Every program ends with verdict(), which prints
// how many checks it made and gives the exit status.
#pragma once

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <ranges>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

namespace bench {

/// Seconds of the fastest of `reps` runs of `f` (at least one run).
template <class F>
double best_of(int reps, F&& f) {
  double best = 1e300;
  for (int r = 0; r < std::max(reps, 1); ++r) {
    const auto start = std::chrono::steady_clock::now();
    f();
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
    best = std::min(best, d.count());
  }
  return best;
}

/// Prints one comparison line: name, our time, the plain time, plain / ours.
inline void report(const std::string& name, double ours, double plain) {
  std::printf("%-48s ours %10.3f ms   plain %10.3f ms   ratio %8.1fx\n", name.c_str(), ours * 1e3,
              plain * 1e3, plain / ours);
  std::fflush(stdout);
}

/// Keeps the compiler from discarding a computed value.
template <class T>
inline void keep(const T& value) {
  asm volatile("" : : "g"(&value) : "memory");
}

// ---------------------------------------------------------------------------
// Agreement

namespace detail {

template <class T>
inline constexpr bool tuple_like = false;
template <class A, class B>
inline constexpr bool tuple_like<std::pair<A, B>> = true;
template <class... T>
inline constexpr bool tuple_like<std::tuple<T...>> = true;

template <class T>
using bits_of = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;

/// One scalar against another: floats bit for bit, or (with `rel` > 0) within
/// `rel` of the larger magnitude; integers by value whatever their types;
/// anything else by ==.
template <class A, class B>
bool same_scalar(const A& a, const B& b, double rel) {
  (void)rel;
  if constexpr (std::is_floating_point_v<A> || std::is_floating_point_v<B>) {
    static_assert(std::is_same_v<A, B>, "compare floating-point results of one type");
    if (std::bit_cast<bits_of<A>>(a) == std::bit_cast<bits_of<B>>(b)) return true;
    const double x = static_cast<double>(a), y = static_cast<double>(b);
    return rel > 0 && std::fabs(x - y) <= rel * std::max(std::fabs(x), std::fabs(y));
  } else if constexpr (std::is_integral_v<A> && std::is_integral_v<B> && !std::is_same_v<A, B> &&
                       !std::is_same_v<A, bool> && !std::is_same_v<B, bool>) {
    return std::cmp_equal(a, b);
  } else {
    return a == b;
  }
}

/// Ranges element by element (equal lengths), pairs and tuples member by
/// member, scalars by same_scalar.
template <class A, class B>
bool same(const A& a, const B& b, double rel) {
  if constexpr (std::ranges::range<A> && std::ranges::range<B>) {
    auto i = std::ranges::begin(a);
    auto j = std::ranges::begin(b);
    for (; i != std::ranges::end(a) && j != std::ranges::end(b); ++i, ++j) {
      if (!same(*i, *j, rel)) return false;
    }
    return i == std::ranges::end(a) && j == std::ranges::end(b);
  } else if constexpr (tuple_like<A> && tuple_like<B>) {
    static_assert(std::tuple_size_v<A> == std::tuple_size_v<B>, "tuples of different sizes");
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return (same(std::get<I>(a), std::get<I>(b), rel) && ...);
    }
    (std::make_index_sequence<std::tuple_size_v<A>>{});
  } else {
    return same_scalar(a, b, rel);
  }
}

template <class T>
std::string show(const T& v) {
  char text[64];
  if constexpr (std::is_floating_point_v<T>) {
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(v));
  } else if constexpr (std::is_integral_v<T>) {
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(v));
  } else {
    return "?";
  }
  return text;
}

/// Where two disagreeing results differ, for the MISMATCH line: both values
/// of a scalar, the lengths or the first differing entry of two ranges of
/// scalars; nothing for other results.
template <class A, class B>
std::string difference(const A& a, const B& b, double rel) {
  (void)rel;
  if constexpr (std::is_arithmetic_v<A> && std::is_arithmetic_v<B>) {
    return ": ours " + show(a) + ", plain " + show(b);
  } else if constexpr (std::ranges::forward_range<A> && std::ranges::forward_range<B>) {
    using X = std::remove_cvref_t<std::ranges::range_reference_t<A>>;
    using Y = std::remove_cvref_t<std::ranges::range_reference_t<B>>;
    if constexpr (std::is_arithmetic_v<X> && std::is_arithmetic_v<Y>) {
      std::size_t index = 0;
      auto i = std::ranges::begin(a);
      auto j = std::ranges::begin(b);
      for (; i != std::ranges::end(a) && j != std::ranges::end(b); ++i, ++j, ++index) {
        if (!same_scalar(*i, *j, rel)) {
          return ": entry " + std::to_string(index) + ": ours " + show(*i) + ", plain " + show(*j);
        }
      }
      return ": lengths differ after " + std::to_string(index) + " equal entries";
    }
  }
  return "";
}

}  // namespace detail

/// Number of agreement checks made so far.
inline int& checks() {
  static int count = 0;
  return count;
}

/// Number of those checks that found a disagreement.
inline int& mismatches() {
  static int count = 0;
  return count;
}

/// Counts one check of `what` and prints a MISMATCH line (with `detail`)
/// when it failed; returns `ok`.
inline bool tally(const std::string& what, bool ok, const std::string& detail = "") {
  ++checks();
  if (!ok) {
    ++mismatches();
    std::printf("MISMATCH %s%s\n", what.c_str(), detail.c_str());
    std::fflush(stdout);
  }
  return ok;
}

/// Whether two results agree: floats bit for bit, ranges (vectors, spans,
/// views) element by element, pairs and tuples member by member, integers by
/// value, anything else by ==.
template <class A, class B>
bool agree(const A& ours, const B& plain) {
  return detail::same(ours, plain, 0.0);
}

/// As agree(), but floats may differ by `rel` relative to the larger
/// magnitude. Only for a plain side that is known up to the order of its
/// additions (see sum_order_tolerance), never to hide a difference.
template <class A, class B>
bool near(const A& ours, const B& plain, double rel) {
  return detail::same(ours, plain, rel);
}

/// The relative tolerance for single-precision sums of up to `terms` values
/// of one sign that are added in different orders: each order is within
/// (terms - 1) * 2^-24 of the exact sum, relative to it, so two orders are
/// within twice that of each other (counting `terms` rather than terms - 1
/// leaves room for one more rounding of a result made from the sum).
inline double sum_order_tolerance(double terms) { return 2.0 * terms * 0x1p-24; }

/// Checks that our result agrees with the plain one (agree()).
template <class A, class B>
bool check(const std::string& what, const A& ours, const B& plain) {
  const bool ok = agree(ours, plain);
  return tally(what, ok, ok ? "" : detail::difference(ours, plain, 0.0));
}

/// Checks that our result agrees with the plain one within `rel` (near()).
template <class A, class B>
bool close(const std::string& what, const A& ours, const B& plain, double rel) {
  const bool ok = near(ours, plain, rel);
  return tally(what, ok, ok ? "" : detail::difference(ours, plain, rel));
}

/// The comparators of compare(): agree() (the default), near() within `rel`,
/// and agree() on a projection of each result, for results that have no
/// == of their own or that differ in type.
struct Agree {
  template <class A, class B>
  bool operator()(const A& a, const B& b) const {
    return agree(a, b);
  }
};
struct Within {
  double rel;
  template <class A, class B>
  bool operator()(const A& a, const B& b) const {
    return near(a, b, rel);
  }
};
inline Within within(double rel) { return Within{rel}; }
template <class Proj>
auto by(Proj proj) {
  return [proj](const auto& a, const auto& b) {
    return agree(std::invoke(proj, a), std::invoke(proj, b));
  };
}

// ---------------------------------------------------------------------------
// Timing with a check

/// Repetitions of each side: one count for both, or {ours, plain}.
struct Reps {
  int ours;
  int plain;
  Reps(int both) : ours(both), plain(both) {}
  Reps(int ours_reps, int plain_reps) : ours(ours_reps), plain(plain_reps) {}
};

/// The two results of a comparison, as computed by the last run of each side.
template <class A, class B>
struct Results {
  A ours;
  B plain;
};

/// Seconds of the fastest of `reps` runs of `f`, and the result of the last
/// run. The previous result is destroyed before each run, outside the timing.
template <class F>
auto timed_result(int reps, F& f) {
  using R = std::remove_cvref_t<std::invoke_result_t<F&>>;
  std::optional<R> value;
  double best = 1e300;
  for (int r = 0; r < std::max(reps, 1); ++r) {
    value.reset();
    const auto start = std::chrono::steady_clock::now();
    value.emplace(f());
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
    best = std::min(best, d.count());
  }
  keep(*value);
  return std::pair<double, R>(best, std::move(*value));
}

/// Times `ours` and `plain` (the fastest of their repetitions), checks that
/// the results of their last runs agree (`same`: agree() unless given) and
/// reports the two times. Both must return their results.
template <class Ours, class Plain, class Same = Agree>
auto compare(const std::string& name, Reps reps, Ours&& ours, Plain&& plain, Same same = {}) {
  static_assert(
      !std::is_void_v<std::invoke_result_t<Ours&>>,
      "bench::compare: `ours` must return its result, to be checked against the plain one");
  static_assert(!std::is_void_v<std::invoke_result_t<Plain&>>,
                "bench::compare: `plain` must return its result, to be checked against ours");
  auto [t_ours, a] = timed_result(reps.ours, ours);
  auto [t_plain, b] = timed_result(reps.plain, plain);
  const bool ok = same(std::as_const(a), std::as_const(b));
  std::string why;
  if (!ok) {
    if constexpr (std::is_same_v<Same, Agree>) why = detail::difference(a, b, 0.0);
    if constexpr (std::is_same_v<Same, Within>) why = detail::difference(a, b, same.rel);
  }
  tally(name, ok, why);
  report(name, t_ours, t_plain);
  return Results<decltype(a), decltype(b)>{std::move(a), std::move(b)};
}

/// Prints the number of checks and of disagreements; the exit status of a
/// benchmark program (non-zero when any check failed).
inline int verdict() {
  if (mismatches() == 0) {
    std::printf("all %d checks agree\n", checks());
    return 0;
  }
  std::printf("%d MISMATCHES in %d checks\n", mismatches(), checks());
  return 1;
}

}  // namespace bench
