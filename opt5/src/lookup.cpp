#include "opt5/lookup.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace opt5 {

void populate_perm(std::uint8_t table[16], const transform& t) {
  for (int k = 0; k < 16; ++k) table[k] = 0;
  for (int k = 1; k <= 5; ++k) {
    const int m = t[k] < 0 ? -t[k] : t[k];
    table[k] = static_cast<std::uint8_t>(((m ^ k) << 1) | (t[k] < 0 ? 1 : 0));
  }
}

void apply_perm(gatevec_fast& chain, const transform& t) {
  if (chain.length == 0) {
    const unsigned o = chain.output, n = o >> 1;
    unsigned out = o;
    if (n >= 1 && n <= 5) {
      const int m = t[n] < 0 ? -t[n] : t[n];
      out = (static_cast<unsigned>(m) << 1) | ((t[n] < 0 ? 1u : 0u) ^ (o & 1u));
    }
    chain.output = static_cast<std::uint8_t>(out ^ (t[0] & 1));
    return;
  }
  std::uint8_t table[16];
  populate_perm(table, t);
  for (std::uint16_t& g : chain.gates) {
    const unsigned ea = table[(g >> 4) & 15u], eb = table[(g >> 10) & 15u];
    g = static_cast<std::uint16_t>(g ^ (ea << 3) ^ (eb << 9));
  }
  chain.output = static_cast<std::uint8_t>(chain.output ^ (t[0] & 1));
}

std::uint32_t normalise_chain_fast(gatevec_fast& chain, const std::uint16_t* tableau) {
  // Nodes 0..5, then one per gate; an index beyond the gates computed so far
  // reads as 0.
  static constexpr std::uint32_t kStart[32] = {kNodeValues[0], kNodeValues[1], kNodeValues[2],
                                               kNodeValues[3], kNodeValues[4], kNodeValues[5]};
  std::uint32_t value[32];
  std::memcpy(value, kStart, sizeof value);
  std::uint32_t neg = 0;  // bit n: the value stored for node n is complemented
  const unsigned length = chain.length < kMaxGates ? chain.length : kMaxGates;
  for (unsigned i = 0; i < length; ++i) {
    unsigned g = chain.gates[i];
    const unsigned a = gate_input_a(static_cast<std::uint16_t>(g));
    const unsigned b = gate_input_b(static_cast<std::uint16_t>(g));
    g ^= (((neg >> a) & 1u) << 3) ^ (((neg >> b) & 1u) << 9);
    g ^= tableau[g & 0x20Fu];
    chain.gates[i] = static_cast<std::uint16_t>(g & 0x7FFFu);
    const std::uint32_t va = value[a], vb = value[b];
    value[6 + i] = eval_op(g & 7u, va, vb);
    neg |= ((g >> 15) & 1u) << (6 + i);
  }
  unsigned o = chain.output;
  o ^= (neg >> ((o >> 1) & 31u)) & 1u;
  chain.output = static_cast<std::uint8_t>(o);
  return value[(o >> 1) & 31u] ^ (0u - (o & 1u));
}

namespace {

[[noreturn]] void major_disaster(std::uint32_t v, std::uint32_t f, std::uint32_t r) {
  std::fprintf(stderr, "Major disaster! %u != %u (canonised %u)\n", v, f, r);
  std::fflush(stderr);
  std::exit(1);
}

}  // namespace

gatevec_fast lookup_transform(std::uint32_t f, const chain_map& map,
                              const canonisation_table& table) {
  if (f == 0xFFFFFFFFu) {
    const gatevec_fast* zero = map.find(0);
    gatevec_fast chain = zero ? *zero : gatevec_fast{};
    chain.output = 1;  // node 0, complemented
    return chain;
  }
  transform t;
  std::uint32_t r;
  if (f >> 31) {
    r = canonise_circuit_fast(~f, t, table);
    t[0] ^= 1;
  } else {
    r = canonise_circuit_fast(f, t, table);
  }
  const gatevec_fast* stored = map.find(r);
  gatevec_fast chain = stored ? *stored : gatevec_fast{};
  apply_perm(chain, t);
  const std::uint32_t v = normalise_chain_fast(chain, table.tableau);
  if (v != f || stored == nullptr) major_disaster(v, f, r);
  return chain;
}

std::uint32_t num_gates(const wrapper& db, std::uint32_t f) {
  return lookup_transform(f, db.chains, *db.table).length;
}

std::uint32_t npn_representant(const wrapper& db, std::uint32_t f) {
  return get_representant(f, *db.table);
}

}  // namespace opt5
