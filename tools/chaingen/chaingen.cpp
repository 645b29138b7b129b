// Generates one optimal gate chain per NPN class of five-input functions by
// level-by-level induction: every rule proposes chains of r gates built from
// chains of finished lower levels; each proposed function that belongs to no
// finished class is canonicalised, its chain is rewritten for the class's
// representative, checked by evaluation and stored. The per-level class
// counts, compared with the published table, tell whether every chain is
// optimal.
//
// Rules for level r, in this order (each phase sees what earlier ones stored):
//   top-down, substitution and shared top-down (word_rules.hpp), then on the
//   stored chains of level r - 1 extension with insertion, node insertion
//   and insertion over any pair of nodes, on those of level r - 2 the
//   two-gate extension, and on those of level r rewiring, repeated on the new
//   chains until a round finds no new class (moves.hpp).
// Afterwards (--reduce), wherever the counts show a shortfall at r:
//   deep walk         (--deep K:R, default 16:40, from --deep-from, default
//                     10, on) rewiring of only the chains the previous round
//                     added, each class taking K new chains per round;
//                     stops as soon as the counts match;
//   gate deletion     on all level r + 1 chains: rewiring that kills an
//                     operand, node replacement and cone replacement.
// Up to K chains per class are stored (--keep, default 16; --keep-low, default
// 64, for levels up to --low-upto, default 9): the chain rules only see
// stored chains, and their variety is what finds the last classes. From
// level --stop-when-exact (default 11) on, a level's rules stop once the
// classes found match the table.
//
// Usage: chaingen WORKDIR [--out FILE] [--max-level N] [--keep K] [--keep-low K]
//                 [--low-upto L] [--threads T] [--from-level L] [--general 0|1]
//                 [--two-gate 0|1] [--shared 0|1] [--reduce 0|1] [--deep K:R]
//                 [--deep-from L] [--stop-when-exact L]
//
// Each finished level L is checkpointed to WORKDIR/state-L.bin (state.bin is
// the latest), so a later run resumes after the last finished level, or
// after level L with --from-level L. Output: FILE (default
// WORKDIR/chains.bin), one 15-byte record per class, by increasing key.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "canon.hpp"
#include "chain.hpp"
#include "checkpoint.hpp"
#include "class_counts.hpp"
#include "passes.hpp"
#include "progress.hpp"
#include "state.hpp"

using namespace chaingen;

namespace {

struct Options {
  std::string dir, out;
  int max_level = 12, from = -1;
  int keep = 16, keep_low = 64, low_upto = 9, threads = 2, stop_when_exact = 11;
  LevelRules rules;
  bool reduce = true;
  // Deep walk: new chains per class and round, rounds at most, first level.
  int deep_quota = 16, deep_rounds = 40, deep_from = 10;
};

bool parse(int argc, char** argv, Options& o) {
  if (argc < 2) return false;
  o.dir = argv[1];
  o.out = o.dir + "/chains.bin";
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    const char* v = argv[i + 1];
    if (a == "--out")
      o.out = v;
    else if (a == "--max-level")
      o.max_level = std::atoi(v);
    else if (a == "--keep")
      o.keep = std::atoi(v);
    else if (a == "--keep-low")
      o.keep_low = std::atoi(v);
    else if (a == "--low-upto")
      o.low_upto = std::atoi(v);
    else if (a == "--stop-when-exact")
      o.stop_when_exact = std::atoi(v);
    else if (a == "--threads")
      o.threads = std::atoi(v);
    else if (a == "--from-level")
      o.from = std::atoi(v);
    else if (a == "--general")
      o.rules.general = std::atoi(v) != 0;
    else if (a == "--two-gate")
      o.rules.two_gate = std::atoi(v) != 0;
    else if (a == "--shared")
      o.rules.shared = std::atoi(v) != 0;
    else if (a == "--reduce")
      o.reduce = std::atoi(v) != 0;
    else if (a == "--deep-from")
      o.deep_from = std::atoi(v);
    else if (a == "--deep") {
      char* e;
      o.deep_quota = static_cast<int>(std::strtol(v, &e, 10));
      o.deep_rounds = *e == ':' ? std::atoi(e + 1) : 8;
    } else {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      return false;
    }
  }
  return true;
}

void print_table(const State& st, int upto) {
  std::printf("  level:  found / table   (cumulative shortfall)\n");
  std::uint64_t cf = 0, ct = 0;
  for (int l = 0; l <= upto && l <= kMaxGates; ++l) {
    cf += st.level[l].size();
    ct += kClassesByGates[l];
    std::printf("  %5d: %7zu / %7llu   %s%llu\n", l, st.level[l].size(),
                (unsigned long long)kClassesByGates[l], ct > cf ? "short " : "ok ",
                (unsigned long long)(ct > cf ? ct - cf : 0));
  }
  for (int l = kMaxGates + 1; l <= upto; ++l)
    if (!st.level[l].empty())
      std::printf("  %5d: %7zu (beyond the table)\n", l, st.level[l].size());
  std::fflush(stdout);
}

// The smallest stored chain of each class, verified, by increasing key.
bool write_output(const State& st, const std::string& path) {
  std::vector<std::pair<std::uint32_t, Rec>> recs;
  for (const Class& c : st.classes) {
    if (c.chains.empty()) continue;
    Rec best = *std::min_element(c.chains.begin(), c.chains.end());
    std::uint32_t v;
    int len;
    if (!rec_eval(best, &v, &len) || v != c.rep || st.canon.canon(v) != v) {
      std::fprintf(stderr, "chain of %08x does not verify\n", c.rep);
      return false;
    }
    recs.emplace_back(c.rep, best);
  }
  std::sort(recs.begin(), recs.end(), [](auto& a, auto& b) { return a.first < b.first; });
  std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    std::perror(tmp.c_str());
    return false;
  }
  for (auto& [k, r] : recs) std::fwrite(r.data(), 15, 1, f);
  if (std::fclose(f) != 0) return false;
  std::rename(tmp.c_str(), path.c_str());
  std::printf("wrote %zu records (%zu bytes) to %s\n", recs.size(), recs.size() * 15, path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(
        stderr,
        "usage: %s WORKDIR [--out FILE] [--max-level N] [--keep K] [--keep-low K] [--low-upto L]\n"
        "       [--threads T] [--from-level L] [--general 0|1] [--two-gate 0|1] [--shared 0|1]\n"
        "       [--reduce 0|1] [--deep K:R] [--deep-from L] [--stop-when-exact L]\n",
        argv[0]);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // progress lines appear as they are printed
  double t0 = now_s();
  Canon canon;
  State st(canon);
  st.keep = o.keep;
  st.threads = o.threads;
  st.stop_when_exact = o.stop_when_exact;
  std::printf("canonicaliser ready in %.1fs\n", now_s() - t0);

  int last = load_state(st, o.dir, o.from);
  if (last < 0) {
    // Level 0: the constant and the single variable.
    st.add_class(0u, 0);
    st.add_class(0x0000FFFFu, 0);
    last = 0;
    save_state(st, o.dir, 0);
  } else {
    std::printf("resuming after level %d (%zu classes)\n", last, st.classes.size());
  }
  st.close_all();
  for (int l = 0; l <= std::min(last, kOrbitLevels); ++l) st.build_orbit(l);
  std::printf("state ready in %.1fs\n", now_s() - t0);

  st.building_levels = true;
  for (int r = last + 1; r <= o.max_level; ++r) {
    if (st.classes.size() >= kClasses) break;
    double tl = now_s();
    st.keep = r <= o.low_upto ? o.keep_low : o.keep;
    std::printf("level %d (up to %d chains per class)\n", r, st.keep);
    std::fflush(stdout);
    build_level(st, r, o.rules);
    save_state(st, o.dir, r);
    std::printf("level %d done in %.1fs, %zu classes in all, peak %ld MiB\n", r, now_s() - tl,
                st.classes.size(), peak_kib() / 1024);
    print_table(st, r);
  }
  st.building_levels = false;
  if (o.reduce) {
    // Looks for shorter chains of the classes of level r + 1 wherever a
    // class of cost r is missing.
    for (int r = 1; r <= 11; ++r) {
      if (st.level_exact(r)) continue;
      double tr = now_s();
      if (o.deep_quota > 0 && r >= o.deep_from)
        deep_walk(st, r, o.deep_quota, o.deep_rounds, static_cast<std::size_t>(o.keep));
      if (st.level_exact(r)) continue;
      reduce_to(st, r);
      std::printf("reduction to %d done in %.1fs\n", r, now_s() - tr);
    }
    st.close_all();
    save_state(st, o.dir, 99);
  }
  print_table(st, o.max_level);
  if (!write_output(st, o.out)) return 1;
  std::printf("total %.1fs, peak %ld MiB\n", now_s() - t0, peak_kib() / 1024);
  return 0;
}
