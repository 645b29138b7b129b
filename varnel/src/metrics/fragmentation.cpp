// The fragmentation family: level means of the restriction entropy, found by
// sharing work between subsets (see fragmentation.hpp for the route).
#include "metrics/fragmentation.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>

#include "error.hpp"
#include "pool.hpp"
#include "row_tally.hpp"
#include "subset_descent.hpp"
#include "subset_walk.hpp"

namespace varnel {

namespace {

// Levels are computed on the worker pool from this many variables up.
constexpr unsigned kParallelVars = 10;

// The profile tries the descent from this many variables up, after
// sampling this many subsets of half the variables.
constexpr unsigned kDescentMinVars = 12;
constexpr std::uint64_t kDescentSample = 16;

// Subsets handed to a worker at a time.
constexpr std::uint64_t kGrain = 16;

// All-distinct subsets are recognised from their supersets up to this size
// (their stats are those of 2^k unit counts, all_distinct_stats).
constexpr unsigned kMaxImpliedSize = 22;

bool parallel_for_vars(unsigned n) { return n >= kParallelVars; }

// The highest level whose subsets are likely to have all-distinct forms when
// the rows look random: 2^(2k) pairs against 2^(2^(n-k)) row values.
unsigned likely_distinct_level(unsigned n) {
  for (unsigned k = n;; --k) {
    if (n - k >= 6 || 2 * k <= (1u << (n - k))) return k;
  }
}

// The highest level whose subsets can have all-distinct forms: 2^k distinct
// rows of 2^(n-k) bits need k <= 2^(n-k).
unsigned top_distinct_level(unsigned n) {
  for (unsigned k = n;; --k) {
    if (n - k >= 6 || k <= (1u << (n - k))) return k;
  }
}

// Whether a subset of `size` variables has few forms against its
// assignments: refining its supersets from its forms is then cheap.
bool few_forms(std::uint64_t forms, unsigned size) {
  return size < 64 && forms * 8 <= (std::uint64_t{1} << size);
}

// The rough cost of form_stats of a k-subset of n variables, in nanoseconds
// on the machine it was measured on: a pass over the table, and a tally of
// the 2^k rows whose cost per row depends on the row's width (rows of at most
// 32 bits are counted as keys from 2^kKeyMinRowBits rows up).
double node_cost(unsigned n, unsigned k) {
  const unsigned m = n - k;
  double per_row = 27.0;
  if (m <= 5) per_row = k < kKeyMinRowBits ? 20.0 : (m == 5 ? 7.0 : m == 4 ? 3.5 : 1.2);
  return std::ldexp(2.7, static_cast<int>(n) - 6) + std::ldexp(per_row, static_cast<int>(k));
}

// ---------------------------------------------------------------------------
// Every subset

// Shares of a sample of subsets.
struct SampleShares {
  double few = 0;       // with few forms
  double distinct = 0;  // with all-distinct forms
};

// The entropies of the subsets of one function, indexed by mask, filled in
// by the cheapest route available for each.
class SubsetEntropies {
 public:
  SubsetEntropies(const FValue& f, bool parallel)
      : f_(f),
        n_(f.n_vars()),
        parallel_(parallel),
        stats_(std::uint64_t{1} << n_),
        known_(std::uint64_t{1} << n_, 0) {
    stats_[0] = {1, -0.0f};
    known_[0] = kAllDistinct;
  }

  std::vector<FormStats>& stats() { return stats_; }
  const SubsetRoutes& routes() const { return routes_; }
  std::vector<std::uint8_t>& known() { return known_; }
  const FormStats& at(VarMask s) const { return stats_[s]; }

  // The subsets of one and two variables, from the table. A subset that
  // contains one of them whose forms repeat has repeated forms itself.
  void small_levels() {
    for (unsigned k = 1; k <= 2 && k <= n_; ++k) {
      const std::vector<VarMask> masks = level_masks(n_, k);
      for_each(masks, [&](VarMask s) { compute(s); });
      routes_.computed += masks.size();
    }
    for (unsigned v = 0; v < n_; ++v) {
      const VarMask single = VarMask{1} << v;
      if (stats_[single].forms < 2) repeated_single_ |= single;
      for (unsigned u = 0; u < v; ++u) {
        const VarMask pair = single | (VarMask{1} << u);
        if (stats_[pair].forms < 4) {
          repeated_pair_[u] |= single;
          repeated_pair_[v] |= VarMask{1} << u;
        }
      }
    }
  }

  // Walks the levels from `top` down to `low` (both at least 3). A subset
  // with an all-distinct superset one level up is known at once. Another
  // one is computed when it is in the target level `low` (with
  // `compute_low`), or when it may be all-distinct, the walk is still
  // testing and the work so far is within `budget` (in node_cost units).
  // Every level is first sampled (every 32nd subset), so that a level of
  // repeating forms is recognised before all of it is computed. Testing
  // stops after a level whose computed subsets mostly have few forms; from
  // then on each level's sample is still computed, and the rest of the level
  // too when the sample finds enough all-distinct subsets to pay for it
  // (a function whose forms repeat only on large subsets, such as the
  // exclusive or of functions of disjoint parts, has its all-distinct
  // subsets well below the first levels).
  void top_down(unsigned top, unsigned low, bool compute_low, double budget) {
    if (low < 3) low = 3;
    bool testing = true;
    std::atomic<double> spent{0.0};
    std::atomic<std::uint64_t> implied_count{0};
    for (unsigned k = top; k >= low && k <= n_; --k) {
      const bool implied = k < top && k <= kMaxImpliedSize;
      const FormStats distinct = implied ? all_distinct_stats(k) : FormStats{};
      const bool target = compute_low && k == low;
      const double cost = node_cost(n_, k);
      std::atomic<std::uint64_t> tested{0}, few{0}, found{0};
      bool computing = true;
      auto visit = [&](VarMask s) {
        if (known_[s] != 0) return;
        if (implied && has_distinct_superset(s)) {
          stats_[s] = distinct;
          known_[s] = kAllDistinct;
          implied_count.fetch_add(1, std::memory_order_relaxed);
          return;
        }
        if (!target) {
          if (!computing || has_repeats_inside(s)) return;
          if (spent.load(std::memory_order_relaxed) > budget) return;
          spent.fetch_add(cost, std::memory_order_relaxed);
        }
        compute(s);
        tested.fetch_add(1, std::memory_order_relaxed);
        if (few_forms(stats_[s].forms, k)) few.fetch_add(1, std::memory_order_relaxed);
        if (known_[s] == kAllDistinct) found.fetch_add(1, std::memory_order_relaxed);
      };
      auto mostly_few = [&] { return tested.load() > 0 && 2 * few.load() > tested.load(); };
      const std::vector<VarMask> masks = level_masks(n_, k);
      std::vector<VarMask> sample, rest;
      for (std::size_t i = 0; i < masks.size(); ++i)
        (i % 32 == 0 ? sample : rest).push_back(masks[i]);
      for_each(sample, visit);
      if (testing && mostly_few()) testing = false;
      // The work below that all-distinct subsets may spare: the target
      // level's, or every lower level's.
      double wanted = 0;
      for (unsigned j = low; j < k; ++j) {
        if (!compute_low || j == low) {
          wanted += static_cast<double>(binomial(n_, j)) * node_cost(n_, j);
        }
      }
      computing = testing || worth_completing(k, tested.load(), found.load(), sample.size(),
                                              masks.size(), wanted);
      for_each(rest, visit);
      if (testing && mostly_few()) testing = false;
      routes_.computed += tested.load();
    }
    routes_.implied += implied_count.load();
  }

  // Every subset of at most `max_size` variables not known yet, by the
  // refining walk.
  void complete(unsigned max_size) {
    complete_subset_stats(f_, max_size, stats_, known_, true, parallel_);
  }

  // Computes the given subsets that are not known yet from the table.
  void compute_unknown(const std::vector<VarMask>& masks) {
    for_each(masks, [&](VarMask s) {
      if (known_[s] == 0) compute(s);
    });
  }

  // Computes the given subsets from the table; returns the shares of them
  // with few forms and with all-distinct forms.
  SampleShares compute_sample(const std::vector<VarMask>& masks) {
    std::atomic<std::uint64_t> few{0}, distinct{0};
    for_each(masks, [&](VarMask s) {
      if (known_[s] == 0) compute(s);
      const unsigned k = static_cast<unsigned>(std::popcount(s));
      if (few_forms(stats_[s].forms, k)) few.fetch_add(1, std::memory_order_relaxed);
      if (known_[s] == kAllDistinct) distinct.fetch_add(1, std::memory_order_relaxed);
    });
    const double size = masks.empty() ? 1.0 : static_cast<double>(masks.size());
    return {static_cast<double>(few.load()) / size, static_cast<double>(distinct.load()) / size};
  }

 private:
  void compute(VarMask s) {
    stats_[s] = form_stats(f_, s);
    const unsigned k = static_cast<unsigned>(std::popcount(s));
    known_[s] = k < 64 && stats_[s].forms == (std::uint64_t{1} << k) ? kAllDistinct : kKnown;
  }

  template <class Body>
  void for_each(const std::vector<VarMask>& masks, Body&& body) {
    if (!parallel_) {
      for (VarMask s : masks) body(s);
      return;
    }
    pool::parallel_for(masks.size(), kGrain, [&](std::uint64_t begin, std::uint64_t end) {
      for (std::uint64_t i = begin; i < end; ++i) body(masks[i]);
    });
  }

  // Whether the rest of level k is worth computing when `found` of the
  // `tested` subsets of its sample of `sampled` have all-distinct forms:
  // the share of all-distinct subsets grows down the levels, so those found
  // would spare about twice their share of the work on the lower levels that
  // are wanted (`wanted`, in node_cost units), against the level's untested
  // candidates.
  bool worth_completing(unsigned k, std::uint64_t tested, std::uint64_t found,
                        std::uint64_t sampled, std::uint64_t level_size, double wanted) const {
    if (found == 0 || sampled == 0) return false;
    const double share = static_cast<double>(found) / static_cast<double>(tested);
    const double candidates = static_cast<double>(level_size) * static_cast<double>(tested) /
                              static_cast<double>(sampled);
    return std::min(1.0, 2.0 * share) * wanted >= candidates * node_cost(n_, k);
  }

  bool has_distinct_superset(VarMask s) const {
    for (VarMask rest = all_vars(n_) & ~s; rest != 0; rest &= rest - 1) {
      if (known_[s | (rest & (~rest + 1))] == kAllDistinct) return true;
    }
    return false;
  }

  bool has_repeats_inside(VarMask s) const {
    if ((s & repeated_single_) != 0) return true;
    for (VarMask rest = s; rest != 0; rest &= rest - 1) {
      if ((repeated_pair_[std::countr_zero(rest)] & s) != 0) return true;
    }
    return false;
  }

  // known_[s]: 0 while the stats of s are unknown; kKnown, or kAllDistinct
  // when its 2^|s| forms are all distinct.
  static constexpr std::uint8_t kKnown = 1;
  static constexpr std::uint8_t kAllDistinct = 2;

  const FValue& f_;
  unsigned n_;
  bool parallel_;
  std::vector<FormStats> stats_;
  std::vector<std::uint8_t> known_;
  VarMask repeated_single_ = 0;
  VarMask repeated_pair_[64] = {};
  SubsetRoutes routes_;
};

// Whether the descent (subset_descent.hpp) beats the search and the walk:
// not when most subsets of half the variables have few forms (symmetric
// functions, juntas), whose forms the walk refines in time proportional to
// the forms; the descent would pay for every assignment of every subset.
bool descent_pays(const FValue& f) {
  const unsigned n = f.n_vars();
  if (n < kDescentMinVars) return false;
  const unsigned k = n / 2;
  const std::uint64_t count = binomial(n, k);
  unsigned few = 0;
  for (std::uint64_t i = 0; i < kDescentSample; ++i) {
    const VarMask s = level_mask_at(n, k, i * count / kDescentSample);
    few += few_forms(form_stats(f, s, false).forms, k);
  }
  return 2 * few < kDescentSample;
}

// The profile's stats by the search for all-distinct subsets from the top
// level down, and the refining walk for the rest.
std::vector<FormStats> by_search_and_walk(const FValue& f, bool parallel, SubsetRoutes* routes) {
  const unsigned n = f.n_vars();
  SubsetEntropies e(f, parallel);
  e.small_levels();
  e.top_down(top_distinct_level(n), 3, false, std::numeric_limits<double>::infinity());
  if (routes != nullptr) {
    *routes = e.routes();
    for (std::uint8_t k : e.known()) routes->walked += k == 0;
  }
  e.complete(n);
  return std::move(e.stats());
}

}  // namespace

// ---------------------------------------------------------------------------
// Building blocks

float level_sum(std::span<const float> values) {
  if (values.size() <= kLeafSubsets) {
    float acc = -0.0f;
    for (float h : values) acc = acc + h;
    return acc;
  }
  const std::size_t half = values.size() / 2;
  const float left = level_sum(values.first(half));
  const float right = level_sum(values.subspan(half));
  return left + right;
}

float level_mean(std::span<const float> values, unsigned n, unsigned k) {
  if (values.size() != binomial(n, k)) panic("one entropy per subset of the level");
  return level_sum(values) / static_cast<float>(binomial(n, k));
}

std::vector<float> differences(std::span<const float> v) {
  std::vector<float> out;
  if (v.size() < 2) return out;
  out.reserve(v.size() - 1);
  for (std::size_t i = 0; i + 1 < v.size(); ++i) out.push_back(v[i + 1] - v[i]);
  return out;
}

std::pair<std::uint64_t, float> first_peak(std::span<const float> p) {
  std::pair<std::uint64_t, float> peak{0, -std::numeric_limits<float>::infinity()};
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (p[i] > peak.second) peak = {i, p[i]};
  }
  return peak;
}

std::vector<FormStats> all_subset_stats(const FValue& f, bool parallel, SubsetRoutes* routes) {
  const unsigned n = f.n_vars();
  if (n > 40) throw ValueError("the subsets of more than 40 variables cannot be listed");
  if (!descent_pays(f)) return by_search_and_walk(f, parallel, routes);
  std::vector<FormStats> stats(std::uint64_t{1} << n);
  // The subsets that leave fewer than kDescentFreeVars variables free, from
  // the table (their rows are at most 8 bits); all others by the descent.
  std::vector<VarMask> top;
  for (unsigned k = n - kDescentFreeVars + 1; k <= n; ++k) {
    const std::vector<VarMask> masks = level_masks(n, k);
    top.insert(top.end(), masks.begin(), masks.end());
  }
  auto body = [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t i = begin; i < end; ++i) stats[top[i]] = form_stats(f, top[i]);
  };
  if (parallel) {
    pool::parallel_for(top.size(), kGrain, body);
  } else {
    body(0, top.size());
  }
  const DescentCounts d = descend_subset_stats(f, stats, parallel);
  stats[0] = {1, -0.0f};
  if (routes != nullptr) {
    *routes = {};
    routes->computed = top.size() + d.from_table;
    routes->implied = d.implied;
    routes->derived = d.derived;
  }
  return stats;
}

std::vector<float> level_entropies(const FValue& f, unsigned k, bool parallel, LevelRoute route) {
  const unsigned n = f.n_vars();
  if (k > n) panic("level beyond the number of variables");
  const std::vector<VarMask> masks = level_masks(n, k);
  std::vector<float> out(masks.size());
  // Each subset from the table.
  auto compute_directly = [&] {
    auto body = [&](std::uint64_t begin, std::uint64_t end) {
      for (std::uint64_t i = begin; i < end; ++i) {
        out[i] = form_stats(f, masks[i]).entropy;
      }
    };
    if (parallel) {
      pool::parallel_for(masks.size(), kGrain, body);
    } else {
      body(0, masks.size());
    }
  };
  // Levels that no all-distinct superset can shorten, or too large to
  // index every subset.
  if (route == LevelRoute::direct || k < 3 || k >= likely_distinct_level(n) ||
      n > kMaxImpliedSize) {
    compute_directly();
    return out;
  }
  SubsetEntropies e(f, parallel);
  const unsigned top = likely_distinct_level(n);
  if (route == LevelRoute::automatic) {
    route = LevelRoute::direct;
    // Estimates of the three routes from samples, computed from the table
    // (and kept): every 32nd subset of the level, a few of each level below.
    std::vector<VarMask> sample;
    for (std::size_t i = 0; i < masks.size(); i += 32) sample.push_back(masks[i]);
    const SampleShares level = e.compute_sample(sample);
    const double direct = static_cast<double>(masks.size()) * node_cost(n, k);
    // The search computes the level where all-distinct subsets are most
    // likely, then the subsets of the level that are not all-distinct.
    const double search =
        static_cast<double>(binomial(n, top)) * node_cost(n, top) + (1.0 - level.distinct) * direct;
    double best = direct;
    if (search < 0.75 * best) {
      best = search;
      route = LevelRoute::from_above;
    }
    // The walk computes every level up to k: a subset from the table, or
    // for about an eighth of that from its parent's forms where those are
    // few. Worth estimating only when the level's own forms are mostly few.
    if (level.few > 0.5) {
      double walk = 0, parent_few = 0;
      for (unsigned j = 1; j <= k && walk < best; ++j) {
        walk += static_cast<double>(binomial(n, j)) * node_cost(n, j) * (1.0 - 0.875 * parent_few);
        if (j < k) {
          std::vector<VarMask> below;
          const std::uint64_t count = binomial(n, j);
          for (std::uint64_t i = 0; i < 8 && i < count; ++i)
            below.push_back(level_mask_at(n, j, i * (count / 8)));
          parent_few = e.compute_sample(below).few;
        }
      }
      if (walk < best) route = LevelRoute::walk;
    }
  }
  if (route == LevelRoute::walk) {
    e.complete(k);
  } else if (route == LevelRoute::from_above) {
    e.small_levels();
    e.top_down(top, k, true, std::numeric_limits<double>::infinity());
  } else {
    e.compute_unknown(masks);
  }
  for (std::size_t i = 0; i < masks.size(); ++i) out[i] = e.at(masks[i]).entropy;
  return out;
}

// ---------------------------------------------------------------------------
// The operations

float fragmentation_k(const FValue& f, std::uint64_t k) {
  const unsigned n = f.n_vars();
  if (k > n) return 0.0f;
  const unsigned level = static_cast<unsigned>(k);
  return level_mean(level_entropies(f, level, parallel_for_vars(n)), n, level);
}

std::vector<float> fragmentation_profile(const FValue& f) {
  const unsigned n = f.n_vars();
  const std::vector<FormStats> stats = all_subset_stats(f, parallel_for_vars(n));
  std::vector<float> profile;
  profile.reserve(n + 1);
  std::vector<float> values;
  for (unsigned k = 0; k <= n; ++k) {
    const std::vector<VarMask> masks = level_masks(n, k);
    values.resize(masks.size());
    for (std::size_t i = 0; i < masks.size(); ++i) values[i] = stats[masks[i]].entropy;
    profile.push_back(level_mean(values, n, k));
  }
  return profile;
}

std::vector<float> fragmentation_delta(const FValue& f) {
  return differences(fragmentation_profile(f));
}

std::vector<float> fragmentation_delta2(const FValue& f) {
  return differences(fragmentation_delta(f));
}

std::pair<std::uint64_t, float> fragmentation_peak(const FValue& f) {
  return first_peak(fragmentation_profile(f));
}

}  // namespace varnel
