#include "auxiliar.hpp"

#include "error.hpp"

namespace varnel {

Combinations::Combinations(std::uint64_t pool_size, std::uint64_t k) : pool_size_(pool_size) {
  // An index vector of k words that no allocation can hold (the even-n
  // underflow of n/2 - 1 for n = 0) is a capacity failure.
  if (k > (std::uint64_t{1} << 60)) panic("capacity overflow");
  if (k > pool_size) {
    done_ = true;
    return;
  }
  indices_.resize(k);
  for (std::uint64_t i = 0; i < k; ++i) indices_[i] = i;
}

const std::vector<std::uint64_t>* Combinations::next() {
  if (done_) return nullptr;
  if (first_) {
    first_ = false;
    return &indices_;
  }
  const std::uint64_t k = indices_.size();
  // Rightmost position t whose index can still grow: indices_[t] < p - k + t.
  std::uint64_t t = k;
  while (t > 0 && indices_[t - 1] >= pool_size_ - k + (t - 1)) --t;
  if (t == 0) {
    done_ = true;
    return nullptr;
  }
  --t;
  ++indices_[t];
  for (std::uint64_t j = t + 1; j < k; ++j) indices_[j] = indices_[j - 1] + 1;
  return &indices_;
}

namespace {

// The combination size is floor(n/2) for odd n and n/2 - 1 for even n; the
// latter wraps around for n = 0, which Combinations rejects.
std::uint64_t combination_size(std::uint64_t n) { return n % 2 == 1 ? n / 2 : n / 2 - 1; }

}  // namespace

SubsetIterator::SubsetIterator(std::uint64_t n)
    : n_(n),
      first_pool_item_(n % 2 == 1 ? 0 : 1),
      combinations_(n % 2 == 1 ? n : (n == 0 ? 0 : n - 1), combination_size(n)) {}

std::optional<std::pair<VarList, VarList>> SubsetIterator::next() {
  const std::vector<std::uint64_t>* indices = combinations_.next();
  if (indices == nullptr) return std::nullopt;
  VarList subset;
  subset.reserve(indices->size() + 1);
  if (first_pool_item_ == 1) subset.push_back(0);
  for (std::uint64_t i : *indices) subset.push_back(first_pool_item_ + i);
  // Both lists are ascending, so the complement is one merge walk.
  VarList complement;
  complement.reserve(n_ - subset.size());
  std::size_t s = 0;
  for (std::uint64_t v = 0; v < n_; ++v) {
    if (s < subset.size() && subset[s] == v) {
      ++s;
    } else {
      complement.push_back(v);
    }
  }
  return std::make_pair(std::move(subset), std::move(complement));
}

std::uint64_t deposit(std::uint64_t value, std::span<const std::uint64_t> positions) noexcept {
  std::uint64_t result = 0;
  for (std::size_t j = 0; j < positions.size(); ++j) {
    result |= ((value >> (j & 63)) & 1u) << (positions[j] & 63);
  }
  return result;
}

std::vector<std::uint64_t> balanced_subset_masks(unsigned n) {
  SubsetIterator it(n);
  std::vector<std::uint64_t> masks;
  while (auto pair = it.next()) {
    std::uint64_t mask = 0;
    for (std::uint64_t v : pair->first) mask |= std::uint64_t{1} << v;
    masks.push_back(mask);
  }
  return masks;
}

}  // namespace varnel
