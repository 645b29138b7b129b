// The generator's state: every class found so far with its stored chains,
// the classes of each level, the orbits of the low levels, the bitmap of
// finished normal words and the fingerprints of every chain ever stored.
#pragma once

#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "canon.hpp"
#include "chain.hpp"

namespace chaingen {

inline constexpr int kMaxLevel = 14;
inline constexpr int kOrbitLevels = 6;  // orbits kept for levels 0..6

/// One bit per normal word: set when the word's class needs no more chains.
/// Bits are set and cleared atomically while workers read them.
struct Bitmap {
  std::vector<std::uint64_t> w;
  Bitmap() : w(std::size_t{1} << 25, 0) {}
  bool test(std::uint32_t x) const {
    return __atomic_load_n(&w[x >> 6], __ATOMIC_RELAXED) >> (x & 63) & 1;
  }
  void set(std::uint32_t x) {
    std::uint64_t m = std::uint64_t{1} << (x & 63);
    if (!(__atomic_load_n(&w[x >> 6], __ATOMIC_RELAXED) & m))
      __atomic_fetch_or(&w[x >> 6], m, __ATOMIC_RELAXED);
  }
  void reset(std::uint32_t x) {
    __atomic_fetch_and(&w[x >> 6], ~(std::uint64_t{1} << (x & 63)), __ATOMIC_RELAXED);
  }
  void clear() { std::fill(w.begin(), w.end(), 0); }
  void prefetch(std::uint32_t x) const { __builtin_prefetch(&w[x >> 6]); }
};

/// A 64-bit fingerprint of a stored chain of a class (collisions would only
/// drop a chain, never store a wrong one).
inline std::uint64_t chain_key(std::uint32_t rep, const Rec& r) {
  std::uint64_t a, b;
  std::memcpy(&a, r.data(), 8);
  std::memcpy(&b, r.data() + 8, 8);
  auto mix = [](std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ull;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebull;
    return x ^ (x >> 31);
  };
  std::uint64_t h = mix(a ^ mix(b ^ mix(rep + 0x9e3779b97f4a7c15ull)));
  return h ? h : 1;
}

/// Open-addressing set of chain fingerprints (0 marks an empty slot).
struct KeySet {
  std::vector<std::uint64_t> slot = std::vector<std::uint64_t>(1024, 0);
  std::size_t size = 0;
  bool insert(std::uint64_t k);  // false when already present
  void clear() {
    if (size) std::fill(slot.begin(), slot.end(), 0);
    size = 0;
  }

 private:
  void grow();
};

struct Class {
  std::uint32_t rep = 0;
  std::uint8_t level = 0;
  std::uint8_t full = 0;
  std::uint8_t marked = 0;
  std::uint32_t cap = 0;  // chains to store before the class is full (0: State::keep)
  std::vector<Rec> chains;
};

/// The words of the classes of one level, each with its class id.
struct Orbit {
  std::vector<std::uint32_t> word, cls;
};

/// A stored chain: chain k of class id.
struct ChainRef {
  std::uint32_t id;
  std::uint16_t k;
};

/// What a phase found, merged in chunk order.
struct PhaseStats {
  std::uint64_t cands = 0, canon = 0, built = 0, fails = 0, newc = 0, added = 0, improved = 0;
};

struct State {
  explicit State(const Canon& c);

  const Canon& canon;
  Bitmap done;
  std::vector<Class> classes;
  std::unordered_map<std::uint32_t, std::uint32_t> rep2id;
  std::vector<std::uint32_t> level[kMaxLevel + 1];  // class ids by level
  Orbit orbit[kOrbitLevels + 1];
  KeySet stored;  // every chain ever stored

  int keep = 16;  // chains stored per class in the current phase
  int threads = 2;
  int cur_level = 0;             // classes below it take no more chains
  bool building_levels = false;  // inside the level-by-level induction
  // From this level on, a level stops its rules once the classes found up to
  // it match the table (their chains would only feed the next level's rules).
  int stop_when_exact = 11;

  /// A new class (no chain yet when it has no gate); returns its id.
  std::uint32_t add_class(std::uint32_t rep, int lvl);
  /// True when the classes found with at most r gates are as many as the
  /// table says: then every one of them is found.
  bool level_exact(int r) const;

  void mark_orbit(Class& c);
  /// Clears the bits of a marked class (each normal word lies in one class).
  void unmark_orbit(Class& c);
  /// Marks every class finished.
  void close_all();
  /// Starts a pass that looks for more chains: only the classes for which
  /// `closed` holds count as finished (their orbits marked in the bitmap);
  /// the others take candidates again.
  template <class Closed>
  void reopen_classes(Closed&& closed) {
    done.clear();
    for (auto& c : classes) {
      c.marked = 0;
      c.full = closed(c);
      if (c.full) mark_orbit(c);
    }
  }

  void build_orbit(int lvl);
  /// The working chain of a class's representative (its k-th stored chain).
  GChain class_chain(std::uint32_t id, int k = 0) const;
  /// The working chain of an orbit word w of class id.
  GChain word_chain(std::uint32_t w, std::uint32_t id) const;

  /// The stored chains of the classes of level lvl; with `start` (indexed by
  /// class id) only those after the first start[id] chains of each class.
  std::vector<ChainRef> chains_of_level(int lvl,
                                        const std::vector<std::uint32_t>* start = nullptr) const;

  /// Stores a verified chain of class rep: a new class, a shorter chain that
  /// moves its class down, or one more chain of an open class.
  void merge(std::uint32_t rep, const Rec& rec, PhaseStats& st);
};

}  // namespace chaingen
