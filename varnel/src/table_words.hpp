// The storage of a packed truth table: a vector taken over from a builder, or,
// for a large table that starts all false, pages mapped fresh from the kernel.
// Fresh pages read as zero and are zeroed by the kernel on first touch, so a
// builder writes each word once instead of after a zeroing pass of its own;
// they are marked for transparent huge pages, which saves most page faults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace varnel {

class TableWords {
 public:
  /// Takes over `words`.
  explicit TableWords(std::vector<std::uint64_t> words) noexcept;
  /// `count` words, all zero, starting on a 64-byte boundary; throws
  /// std::bad_alloc when memory is short.
  static TableWords zeros(std::size_t count);

  TableWords(const TableWords& other);
  TableWords& operator=(const TableWords& other);
  TableWords(TableWords&& other) noexcept;
  TableWords& operator=(TableWords&& other) noexcept;
  ~TableWords();

  std::span<std::uint64_t> span() noexcept { return {data_, count_}; }
  std::span<const std::uint64_t> span() const noexcept { return {data_, count_}; }
  std::size_t size() const noexcept { return count_; }
  std::uint64_t* data() noexcept { return data_; }
  const std::uint64_t* data() const noexcept { return data_; }

 private:
  TableWords() = default;
  void release() noexcept;

  std::vector<std::uint64_t> vector_;
  void* mapping_ = nullptr;  // the mapped pages, when not in vector_
  std::size_t mapped_bytes_ = 0;
  std::uint64_t* data_ = nullptr;
  std::size_t count_ = 0;
};

}  // namespace varnel
