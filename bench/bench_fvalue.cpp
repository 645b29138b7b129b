// Encoding and decoding of a 2^24-entry table, against the byte-per-entry
// implementation (the table is a byte vector; encoding is a prefix plus a copy,
// decoding checks and copies each byte); and the creation of a table of 2^33
// entries (1 GiB packed), fresh from the allocator and written once, against
// writing 1 GiB into memory that is already mapped (the machine's write speed).
// The encodings and decodings of both sides are checked to agree.
#include <cstdio>
#include <functional>
#include <utility>
#include <random>

#include "encoding.hpp"
#include "examples.hpp"
#include "machine.hpp"
#include "harness.hpp"
#include "plain.hpp"

namespace {

std::vector<std::uint8_t> plain_encode(const plain::Table& t) {
  std::vector<std::uint8_t> out;
  out.reserve(t.size() + 9);
  const std::uint64_t v = t.size();
  out.push_back(0xFC);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  for (std::uint8_t e : t) out.push_back(e);
  return out;
}

plain::Table plain_decode(const std::vector<std::uint8_t>& raw) {
  std::uint64_t len = 0;
  for (int i = 0; i < 4; ++i) len |= std::uint64_t{raw[1 + i]} << (8 * i);
  plain::Table t;
  t.reserve(len);
  for (std::uint64_t i = 0; i < len; ++i) {
    if (raw[5 + i] > 1) throw std::runtime_error("Unable to decode");
    t.push_back(raw[5 + i]);
  }
  return t;
}

}  // namespace

int main() {
  std::mt19937_64 rng(3);
  const unsigned n = 24;
  plain::Table table = plain::random_table(n, rng);
  varnel::FValue packed = plain::pack(table);
  std::vector<std::uint8_t> raw = varnel::encode(packed);

  std::printf("table: 2^%u entries; packed %zu bytes, byte-per-entry %zu bytes (%.0fx smaller)\n",
              n, packed.words().size() * 8, table.size(),
              double(table.size()) / double(packed.words().size() * 8));
  bench::compare(
      "encode 2^24", 5, [&] { return varnel::encode(packed); },
      [&] { return plain_encode(table); });
  bench::compare(
      "decode 2^24", 5, [&] { return varnel::decode(raw); }, [&] { return plain_decode(raw); },
      [](const varnel::FValue& ours, const plain::Table& plain) {
        return ours == plain::pack(plain);
      });

  {
    const unsigned big = 33;
    const std::uint64_t size = std::uint64_t{1} << big;
    const double gib = static_cast<double>(size / 8) / (1 << 30);
    const bench::Bandwidth bw = bench::measure_bandwidth(std::size_t{1} << 30);
    const double floor = static_cast<double>(size / 8) / bw.write;
    auto fill = [&] {
      varnel::FValue f = varnel::FValue::zeros(size);
      auto w = f.mutable_words();
      for (std::size_t k = 0; k < w.size(); ++k) w[k] = k * 0x9E3779B97F4A7C15u;
      bench::keep(w[w.size() / 2]);
    };
    auto parity = [&] { bench::keep(varnel::examples::parity(big).words()[1]); };
    std::printf(
        "create 2^%u entries (%.0f GiB), load %.1f: writing 1 GiB into mapped memory %.0f ms"
        " (%.1f GB/s)\n",
        big, gib, bench::load_average(), floor * 1e3, bw.write / 1e9);
    for (const auto& [name, fn] : {std::pair<const char*, std::function<void()>>{
                                       "  FValue::zeros + one write per word", fill},
                                   {"  parity(33)", parity}}) {
      const double wall = bench::best_of(3, fn);
      const double cpu = bench::cpu_best_of(3, fn);
      std::printf(
          "%-40s %8.1f ms (cpu %8.1f ms, with the kernel's page zeroing)   %.2fx the write time\n",
          name, wall * 1e3, cpu * 1e3, wall / floor);
    }
  }
  return bench::verdict();
}
