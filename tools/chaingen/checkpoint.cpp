#include "checkpoint.hpp"

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace chaingen {

namespace {

constexpr std::uint32_t kMagic = 0x43474e31u;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::exit(1);
}

}  // namespace

// Layout: magic, level, number of classes; then per class its
// representative, level | chains << 8, and its chains of 16 bytes each.
void save_state(const State& st, const std::string& dir, int level) {
  std::string tmp = dir + "/state.bin.tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    std::perror(tmp.c_str());
    std::exit(1);
  }
  std::uint32_t hdr[3] = {kMagic, static_cast<std::uint32_t>(level),
                          static_cast<std::uint32_t>(st.classes.size())};
  std::fwrite(hdr, sizeof hdr, 1, f);
  for (const Class& c : st.classes) {
    std::uint32_t h[2] = {c.rep, static_cast<std::uint32_t>(c.level) |
                                     static_cast<std::uint32_t>(c.chains.size()) << 8};
    std::fwrite(h, sizeof h, 1, f);
    for (const Rec& r : c.chains) std::fwrite(r.data(), 16, 1, f);
  }
  if (std::fclose(f) != 0) {
    std::perror(tmp.c_str());
    std::exit(1);
  }
  std::string lv = dir + "/state-" + std::to_string(level) + ".bin";
  std::rename(tmp.c_str(), lv.c_str());
  std::string cur = dir + "/state.bin";
  std::remove(cur.c_str());
  if (link(lv.c_str(), cur.c_str()) != 0) {
    std::perror(cur.c_str());
    std::exit(1);
  }
}

int load_state(State& st, const std::string& dir, int from) {
  std::string name =
      from < 0 ? dir + "/state.bin" : dir + "/state-" + std::to_string(from) + ".bin";
  FILE* f = std::fopen(name.c_str(), "rb");
  if (!f && from >= 0) fail(("no checkpoint " + name).c_str());
  if (!f) return -1;
  std::uint32_t hdr[3];
  if (std::fread(hdr, sizeof hdr, 1, f) != 1 || hdr[0] != kMagic) {
    std::fclose(f);
    return -1;
  }
  for (std::uint32_t i = 0; i < hdr[2]; ++i) {
    std::uint32_t h[2];
    if (std::fread(h, sizeof h, 1, f) != 1) fail("truncated state");
    Class& c = st.classes[st.add_class(h[0], static_cast<int>(h[1] & 0xFF))];
    c.chains.resize(h[1] >> 8);
    for (Rec& r : c.chains) {
      if (std::fread(r.data(), 16, 1, f) != 1) fail("truncated state");
      st.stored.insert(chain_key(c.rep, r));
    }
  }
  std::fclose(f);
  return static_cast<int>(hdr[1]);
}

}  // namespace chaingen
