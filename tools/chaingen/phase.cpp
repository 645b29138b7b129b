#include "phase.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "class_counts.hpp"
#include "progress.hpp"

namespace chaingen {

bool Worker::verified(const GChain& t, std::uint32_t rep, Rec& rec) {
  std::uint32_t val, val2;
  int len, len2;
  return finish(t, rec, &val, &len) && val == rep && rec_eval(rec, &val2, &len2) && val2 == rep &&
         len2 == len;
}

PhaseStats run_phase(State& st, const char* name, std::size_t n, std::size_t chunk,
                     const std::function<void(Worker&, std::size_t, std::size_t)>& fn) {
  double t0 = now_s();
  PhaseStats ps;
  // Once every class has a chain a new level has nothing to find; the
  // reduction pass still looks for shorter chains.
  if (st.building_levels && st.classes.size() >= kClasses) return ps;
  if (st.building_levels && st.cur_level >= st.stop_when_exact && st.level_exact(st.cur_level))
    return ps;
  if (chunk == 0) chunk = 1;
  std::size_t nchunks = (n + chunk - 1) / chunk;
  std::atomic<std::size_t> next{0};
  std::mutex mu;
  std::map<std::size_t, ChunkOut> ready;
  std::size_t merged = 0;
  auto body = [&]() {
    Worker w(st);
    for (;;) {
      std::size_t c = next.fetch_add(1);
      if (c >= nchunks) break;
      w.reset();
      fn(w, c * chunk, std::min(n, (c + 1) * chunk));
      std::lock_guard<std::mutex> lk(mu);
      ready.emplace(c, std::move(w.out));
      while (!ready.empty() && ready.begin()->first == merged) {
        ChunkOut& o = ready.begin()->second;
        ps.cands += o.cands;
        ps.canon += o.canon;
        ps.built += o.built;
        ps.fails += o.fails;
        for (auto& [rep, rec] : o.items) st.merge(rep, rec, ps);
        ready.erase(ready.begin());
        ++merged;
      }
    }
  };
  std::vector<std::thread> th;
  for (int i = 0; i < st.threads; ++i) th.emplace_back(body);
  for (auto& t : th) t.join();
  std::printf(
      "  L%-2d %-22s %8zu items %12llu cands %11llu canon %9llu built %6llu fail  +%7llu classes "
      "+%8llu chains "
      "%4llu improved %7.1fs\n",
      st.cur_level, name, n, (unsigned long long)ps.cands, (unsigned long long)ps.canon,
      (unsigned long long)ps.built, (unsigned long long)ps.fails, (unsigned long long)ps.newc,
      (unsigned long long)ps.added, (unsigned long long)ps.improved, now_s() - t0);
  std::fflush(stdout);
  return ps;
}

}  // namespace chaingen
