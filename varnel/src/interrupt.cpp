#include "interrupt.hpp"

namespace varnel::interrupt {

namespace detail {

std::atomic<Check> g_check{nullptr};
std::atomic<bool> g_stop{false};
thread_local bool t_pool_worker = false;

void stop_now() { throw Interrupted(); }

void run_check() {
  if (poll_check()) throw Interrupted();
}

}  // namespace detail

void set_check(Check check) noexcept { detail::g_check.store(check, std::memory_order_relaxed); }

void mark_pool_worker() noexcept { detail::t_pool_worker = true; }

void clear_stop() noexcept { detail::g_stop.store(false, std::memory_order_relaxed); }

bool poll_check() noexcept {
  const Check check = detail::g_check.load(std::memory_order_relaxed);
  if (check == nullptr || !check()) return false;
  detail::g_stop.store(true, std::memory_order_relaxed);
  return true;
}

}  // namespace varnel::interrupt
