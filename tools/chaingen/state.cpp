#include "state.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "class_counts.hpp"

namespace chaingen {

bool KeySet::insert(std::uint64_t k) {
  if (2 * (size + 1) > slot.size()) grow();
  std::size_t m = slot.size() - 1, i = k & m;
  while (slot[i]) {
    if (slot[i] == k) return false;
    i = (i + 1) & m;
  }
  slot[i] = k;
  ++size;
  return true;
}

void KeySet::grow() {
  std::vector<std::uint64_t> old(slot.size() * 2, 0);
  old.swap(slot);
  std::size_t m = slot.size() - 1;
  for (std::uint64_t k : old)
    if (k) {
      std::size_t i = k & m;
      while (slot[i]) i = (i + 1) & m;
      slot[i] = k;
    }
}

// Workers hold references into `classes` while new classes are merged, so
// the vector never reallocates.
State::State(const Canon& c) : canon(c) { classes.reserve(kClasses); }

std::uint32_t State::add_class(std::uint32_t rep, int lvl) {
  std::uint32_t id = static_cast<std::uint32_t>(classes.size());
  classes.emplace_back();
  classes.back().rep = rep;
  classes.back().level = static_cast<std::uint8_t>(lvl);
  rep2id.emplace(rep, id);
  level[lvl].push_back(id);
  return id;
}

bool State::level_exact(int r) const {
  std::uint64_t cf = 0;
  for (int l = 0; l <= r && l <= kMaxGates; ++l) cf += level[l].size();
  return cf >= classes_up_to(r);
}

void State::mark_orbit(Class& c) {
  if (c.marked) return;
  c.marked = 1;
  canon.orbit(c.rep, [this](std::uint32_t w) { done.set(w); });
}

void State::unmark_orbit(Class& c) {
  if (!c.marked) return;
  c.marked = 0;
  canon.orbit(c.rep, [this](std::uint32_t w) { done.reset(w); });
}

void State::close_all() {
  for (auto& c : classes) {
    c.full = 1;
    mark_orbit(c);
  }
}

void State::build_orbit(int lvl) {
  Orbit& o = orbit[lvl];
  o.word.clear();
  o.cls.clear();
  std::vector<std::uint32_t> tmp;
  for (std::uint32_t id : level[lvl]) {
    if (classes[id].rep == 0) continue;
    tmp.clear();
    canon.orbit(classes[id].rep, [&](std::uint32_t w) { tmp.push_back(w); });
    std::sort(tmp.begin(), tmp.end());
    tmp.erase(std::unique(tmp.begin(), tmp.end()), tmp.end());
    for (auto w : tmp) {
      o.word.push_back(w);
      o.cls.push_back(id);
    }
  }
}

GChain State::class_chain(std::uint32_t id, int k) const {
  const Class& c = classes[id];
  if (c.chains.empty()) {  // the variable class: no gate
    GChain g;
    g.out = 1;
    return g;
  }
  return rec_chain(c.chains[k]);
}

GChain State::word_chain(std::uint32_t w, std::uint32_t id) const {
  Xform xf;
  std::uint32_t r = canon.canon(w, xf);
  if (r != classes[id].rep) {
    std::fprintf(stderr, "orbit word %08x not in class %08x\n", w, classes[id].rep);
    std::exit(2);
  }
  return class_chain(id).transformed(xf.inverse());
}

std::vector<ChainRef> State::chains_of_level(int lvl,
                                             const std::vector<std::uint32_t>* start) const {
  std::vector<ChainRef> refs;
  for (std::uint32_t id : level[lvl]) {
    std::size_t k0 = start && id < start->size() ? (*start)[id] : 0;
    for (std::size_t k = k0; k < classes[id].chains.size(); ++k)
      refs.push_back(ChainRef{id, static_cast<std::uint16_t>(k)});
  }
  return refs;
}

void State::merge(std::uint32_t rep, const Rec& rec, PhaseStats& st) {
  int len = rec_len(rec);
  auto it = rep2id.find(rep);
  if (it == rep2id.end()) {
    Class& c = classes[add_class(rep, len)];
    c.chains.push_back(rec);
    stored.insert(chain_key(rep, rec));
    ++st.newc;
    ++st.added;
    if (keep == 1) {
      c.full = 1;
      mark_orbit(c);
    }
    return;
  }
  Class& c = classes[it->second];
  if (len < c.level) {
    // A shorter chain for a class placed too high: the class moves down.
    std::printf("  improved: class %08x from %d to %d gates\n", rep, c.level, len);
    auto& from = level[c.level];
    from.erase(std::find(from.begin(), from.end(), it->second));
    level[len].push_back(it->second);
    c.level = static_cast<std::uint8_t>(len);
    c.chains.assign(1, rec);
    stored.insert(chain_key(rep, rec));
    ++st.improved;
    return;
  }
  if (c.full || c.level < cur_level || len > c.level) return;
  if (!stored.insert(chain_key(rep, rec))) return;
  c.chains.push_back(rec);
  ++st.added;
  if (c.chains.size() >= (c.cap ? c.cap : static_cast<std::size_t>(keep))) {
    c.full = 1;
    mark_orbit(c);
  }
}

}  // namespace chaingen
