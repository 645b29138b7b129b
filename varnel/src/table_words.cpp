#include "table_words.hpp"

#include <sys/mman.h>

#include <cstring>
#include <new>
#include <utility>

namespace varnel {

namespace {

constexpr std::size_t kHuge = std::size_t{2} << 20;
// Smaller tables come from the allocator: mapping pages costs more there.
constexpr std::size_t kMapFrom = std::size_t{4} << 20;
constexpr std::size_t kLine = 64;

}  // namespace

TableWords::TableWords(std::vector<std::uint64_t> words) noexcept
    : vector_(std::move(words)), data_(vector_.data()), count_(vector_.size()) {}

TableWords TableWords::zeros(std::size_t count) {
  if (count > (~std::size_t{0} - 2 * kHuge) / 8) throw std::bad_alloc();
  const std::size_t bytes = count * 8;
  if (bytes < kMapFrom) {
    // Seven spare words put the start on a cache line, as vector kernels like.
    TableWords w(std::vector<std::uint64_t>(count + 7, 0));
    const auto begin = reinterpret_cast<std::uintptr_t>(w.data_);
    w.data_ += ((kLine - begin % kLine) % kLine) / sizeof(std::uint64_t);
    w.count_ = count;
    return w;
  }
  // Room for a start on a 2 MiB boundary, so that every page can be huge.
  const std::size_t mapped = (bytes + kHuge - 1) / kHuge * kHuge + kHuge;
  void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  const auto begin = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t aligned = (begin + kHuge - 1) & ~(kHuge - 1);
  madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);  // a hint; failure is harmless
  TableWords w;
  w.mapping_ = p;
  w.mapped_bytes_ = mapped;
  w.data_ = reinterpret_cast<std::uint64_t*>(aligned);
  w.count_ = count;
  return w;
}

TableWords::TableWords(const TableWords& other) : TableWords(zeros(other.count_)) {
  if (count_ != 0) std::memcpy(data_, other.data_, count_ * 8);
}

TableWords& TableWords::operator=(const TableWords& other) {
  if (this != &other) *this = TableWords(other);
  return *this;
}

TableWords::TableWords(TableWords&& other) noexcept
    : vector_(std::move(other.vector_)),
      mapping_(std::exchange(other.mapping_, nullptr)),
      mapped_bytes_(std::exchange(other.mapped_bytes_, 0)),
      data_(std::exchange(other.data_, nullptr)),
      count_(std::exchange(other.count_, 0)) {}

TableWords& TableWords::operator=(TableWords&& other) noexcept {
  if (this != &other) {
    release();
    vector_ = std::move(other.vector_);
    mapping_ = std::exchange(other.mapping_, nullptr);
    mapped_bytes_ = std::exchange(other.mapped_bytes_, 0);
    data_ = std::exchange(other.data_, nullptr);
    count_ = std::exchange(other.count_, 0);
  }
  return *this;
}

TableWords::~TableWords() { release(); }

void TableWords::release() noexcept {
  if (mapping_ != nullptr) munmap(mapping_, mapped_bytes_);
  mapping_ = nullptr;
  mapped_bytes_ = 0;
  vector_ = {};
  data_ = nullptr;
  count_ = 0;
}

}  // namespace varnel
