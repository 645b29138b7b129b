// Wall-clock seconds and peak memory, for the generator's progress lines.
#pragma once

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

namespace chaingen {

inline double now_s() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

/// Peak resident set of this process in KiB (0 when unknown).
inline long peak_kib() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

}  // namespace chaingen
