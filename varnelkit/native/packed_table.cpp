#include "packed_table.hpp"

#include <cstring>
#include <string>

#include "error.hpp"

namespace varnelkit::native {

namespace {

void check_vars(std::uint64_t n) {
  if (n > kMaxPackedVars) {
    throw varnel::ValueError("a packed table has at most " + std::to_string(kMaxPackedVars) +
                             " variables, not " + std::to_string(n));
  }
}

}  // namespace

varnel::FValue unpack_table(const varnel::py::ReadBuffer& buffer, std::uint64_t n) {
  check_vars(n);
  const std::uint64_t size = std::uint64_t{1} << n;
  const std::uint64_t words = varnel::words_for(size);
  const std::span<const std::uint8_t> bytes = buffer.view.bytes();
  if (bytes.size() < words * 8) {
    throw varnel::ValueError("a packed table of " + std::to_string(n) + " variables needs " +
                             std::to_string(words * 8) + " bytes, got " +
                             std::to_string(bytes.size()));
  }
  std::vector<std::uint64_t> data(words);
  std::memcpy(data.data(), bytes.data(), words * 8);
  return varnel::FValue(std::move(data), size);
}

std::span<std::int64_t> int64_output(const varnel::py::WriteBuffer& out, std::uint64_t n) {
  check_vars(n);
  const std::span<std::uint8_t> bytes = out.view.bytes();
  const std::uint64_t size = std::uint64_t{1} << n;
  if (out.view.itemsize() != 8 || bytes.size() != size * 8) {
    throw varnel::ValueError("the output needs " + std::to_string(size) + " 64-bit integers");
  }
  return {reinterpret_cast<std::int64_t*>(bytes.data()), size};
}

std::span<std::uint64_t> words_output(const varnel::py::WriteBuffer& out, std::uint64_t n) {
  check_vars(n);
  const std::span<std::uint8_t> bytes = out.view.bytes();
  const std::uint64_t words = varnel::words_for(std::uint64_t{1} << n);
  if (out.view.itemsize() != 8 || bytes.size() != words * 8) {
    throw varnel::ValueError("the output needs " + std::to_string(words) + " 64-bit words");
  }
  return {reinterpret_cast<std::uint64_t*>(bytes.data()), words};
}

}  // namespace varnelkit::native
