#include "batch.hpp"

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>

#include "error.hpp"
#include "gil.hpp"
#include "opt5/catalogue.hpp"
#include "opt5/table_words.hpp"
#include "pool.hpp"

namespace varnelkit::native {

namespace {

/// Words per task of the pool: large enough to amortise the hand-out, small
/// enough to balance two threads on small arrays.
constexpr std::uint64_t kGrain = 1u << 14;

/// The items of a buffer as T, checked for size and alignment.
template <class T, class Bytes>
auto items(const Bytes& bytes, const char* name) {
  using Item =
      std::conditional_t<std::is_const_v<std::remove_reference_t<decltype(bytes[0])>>, const T, T>;
  if (bytes.size() % sizeof(T) != 0 ||
      reinterpret_cast<std::uintptr_t>(bytes.data()) % alignof(T) != 0)
    throw varnel::ValueError(std::string(name) + " is not an aligned array of " +
                             std::to_string(sizeof(T)) + "-byte items");
  return std::span<Item>(reinterpret_cast<Item*>(bytes.data()), bytes.size() / sizeof(T));
}

template <class Span>
void same_length(const Span& out, std::size_t n, const char* name) {
  if (out.size() != n)
    throw varnel::ValueError(std::string(name) + " must hold " + std::to_string(n) +
                             " items, not " + std::to_string(out.size()));
}

/// Runs kernel(begin, end) over [0, n) on the pool without the interpreter lock.
template <class Kernel>
void run_parallel(std::size_t n, Kernel&& kernel) {
  ReleasedGil released;
  varnel::pool::parallel_for(n, kGrain, [&](std::uint64_t b, std::uint64_t e) { kernel(b, e); });
}

const opt5::canonisation_table& table() { return *opt5::embedded_database().table; }

}  // namespace

std::uint64_t npn_canonize_many(ReadBuffer words, WriteBuffer representatives,
                                WriteBuffer transforms) {
  const auto in = items<std::uint32_t>(words.bytes(), "words");
  const auto reps = items<std::uint32_t>(representatives.bytes(), "representatives");
  const auto ts = items<opt5::npn_transform>(transforms.bytes(), "transforms");
  same_length(reps, in.size(), "representatives");
  same_length(ts, in.size(), "transforms");
  const auto& t = table();
  run_parallel(in.size(), [&](std::size_t b, std::size_t e) {
    opt5::canonize_words(in.subspan(b, e - b), reps.subspan(b, e - b), ts.subspan(b, e - b), t);
  });
  return in.size();
}

std::uint64_t npn_representatives(ReadBuffer words, WriteBuffer representatives) {
  const auto in = items<std::uint32_t>(words.bytes(), "words");
  const auto reps = items<std::uint32_t>(representatives.bytes(), "representatives");
  same_length(reps, in.size(), "representatives");
  const auto& t = table();
  run_parallel(in.size(), [&](std::size_t b, std::size_t e) {
    opt5::representatives_of_words(in.subspan(b, e - b), reps.subspan(b, e - b), t);
  });
  return in.size();
}

std::uint64_t minimal_gates_many(ReadBuffer words, WriteBuffer gates) {
  const auto in = items<std::uint32_t>(words.bytes(), "words");
  const auto out = items<std::uint8_t>(gates.bytes(), "gates");
  same_length(out, in.size(), "gates");
  const auto& t = table();
  const auto& catalogue = opt5::embedded_catalogue();
  run_parallel(in.size(), [&](std::size_t b, std::size_t e) {
    opt5::gates_of_words(in.subspan(b, e - b), out.subspan(b, e - b), catalogue, t);
  });
  return in.size();
}

std::uint64_t npn_class_indices(ReadBuffer words, WriteBuffer classes) {
  const auto in = items<std::uint32_t>(words.bytes(), "words");
  const auto out = items<std::uint32_t>(classes.bytes(), "classes");
  same_length(out, in.size(), "classes");
  const auto& t = table();
  const auto& catalogue = opt5::embedded_catalogue();
  run_parallel(in.size(), [&](std::size_t b, std::size_t e) {
    opt5::classes_of_words(in.subspan(b, e - b), out.subspan(b, e - b), catalogue, t);
  });
  return in.size();
}

std::uint64_t npn5_class_count() { return opt5::embedded_catalogue().size(); }

std::uint64_t npn5_classes_fill(WriteBuffer representatives, WriteBuffer gates,
                                WriteBuffer orbit_sizes) {
  const auto& catalogue = opt5::embedded_catalogue();
  const auto reps = items<std::uint32_t>(representatives.bytes(), "representatives");
  const auto g = items<std::uint8_t>(gates.bytes(), "gates");
  const auto orbits = items<std::uint32_t>(orbit_sizes.bytes(), "orbit_sizes");
  same_length(reps, catalogue.size(), "representatives");
  same_length(g, catalogue.size(), "gates");
  same_length(orbits, catalogue.size(), "orbit_sizes");
  std::memcpy(reps.data(), catalogue.representatives().data(), reps.size_bytes());
  std::memcpy(g.data(), catalogue.gates().data(), g.size_bytes());
  std::memcpy(orbits.data(), catalogue.orbit_sizes().data(), orbits.size_bytes());
  return catalogue.size();
}

}  // namespace varnelkit::native
