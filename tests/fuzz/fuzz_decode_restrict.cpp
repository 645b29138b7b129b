// libFuzzer target over the decoder and the restriction operations.
//
// Input: one control byte, then a variable list, then the bytes handed to the
// decoder. The low three bits of the control byte give the length of the
// variable list (0 to 7); each list byte is a variable index (taken modulo 32,
// so indices at and beyond n occur, and repeats). When the rest decodes, the
// table goes through the restriction operations with that list and the fast
// results are compared with the plain definitions; any mismatch aborts. Only
// the documented failures (ValueError, Panic) may come out of the decoder and
// the operations.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "encoding.hpp"
#include "error.hpp"
#include "plain.hpp"
#include "restriction.hpp"
#include "restriction_plain.hpp"

namespace {

void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "mismatch: %s\n", what);
    std::abort();
  }
}

bool same_float(float a, float b) {
  return __builtin_bit_cast(std::uint32_t, a) == __builtin_bit_cast(std::uint32_t, b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t count = data[0] & 7u;
  if (size < 1 + count) return 0;
  std::vector<std::uint64_t> vars;
  for (std::size_t i = 0; i < count; ++i) vars.push_back(data[1 + i] % 32u);
  const std::span<const std::uint8_t> raw(data + 1 + count, size - 1 - count);

  std::optional<varnel::FValue> decoded;
  try {
    decoded.emplace(varnel::decode(raw));
  } catch (const varnel::ValueError&) {
    return 0;
  } catch (const varnel::Panic&) {
    return 0;
  }
  const varnel::FValue& f = *decoded;
  // Round trip: the encoder writes the shortest prefix of the same entries.
  const std::vector<std::uint8_t> again = varnel::encode(f);
  require(varnel::decode(again) == f, "decode(encode(f)) != f");
  if (f.n_vars() > 12) return 0;  // the plain side enumerates every assignment

  const plain::Table t = plain::unpack(f);
  require(varnel::count_forms_by_multiple_fixed(f, vars) == plain::count_forms(t, vars),
          "information");
  require(same_float(varnel::set_entropy(f, vars), plain::set_entropy(t, vars)),
          "fragmentation_coefficient");
  try {
    const varnel::BitMatrix m = varnel::restriction_table(f, vars);
    const std::vector<plain::Table> rows = plain::table_rows(t, vars);
    require(m.rows() == rows.size(), "table rows");
    for (std::uint64_t r = 0; r < m.rows(); ++r) {
      require(m.cols() == rows[r].size(), "table columns");
      for (std::uint64_t c = 0; c < m.cols(); ++c) {
        require(m.get(r, c) == (rows[r][c] != 0), "table entry");
      }
    }
  } catch (const varnel::Panic&) {
    // Repeated or out-of-range variables: the documented shape failures.
  }
  return 0;
}
