#include "pool.hpp"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "interrupt.hpp"

namespace varnel::pool {

namespace {

// A positive decimal number from the environment, or 0.
unsigned env_count(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return 0;
  unsigned long n = 0;
  for (const char* p = v; *p; ++p) {
    if (*p < '0' || *p > '9') return 0;
    n = n * 10 + static_cast<unsigned long>(*p - '0');
    if (n > 4096) n = 4096;
  }
  return static_cast<unsigned>(n);
}

unsigned configured_threads() {
  if (unsigned n = env_count("RAYON_NUM_THREADS")) return n;
  if (unsigned n = env_count("RAYON_RS_NUM_CPUS")) return n;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<unsigned>(n);
  }
  const unsigned hw = std::thread::hardware_concurrency();
  return hw > 0 ? hw : 1;
}

// True on pool threads, and on the calling thread while it takes part in a loop.
thread_local bool t_on_worker = false;

// Set by tests: how many workers a new pool may start before the next start
// fails as if the system had refused the thread.
std::atomic<unsigned> g_startable_workers{~0u};

// How often the calling thread, waiting for the workers of a loop, runs the
// interrupt check.
constexpr auto kPollInterval = std::chrono::milliseconds(5);

class Pool {
 public:
  // Starts up to threads - 1 workers. When the system refuses one (a thread or
  // process limit, or no address space left for its stack), the pool keeps
  // the workers that did start and runs with fewer threads; the calling thread
  // alone always works.
  explicit Pool(unsigned threads) {
    const unsigned wanted = threads > 0 ? threads - 1 : 0;
    workers_.reserve(wanted);
    const unsigned startable = g_startable_workers.load();
    for (unsigned w = 1; w <= wanted; ++w) {
      try {
        if (w > startable) {
          throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        workers_.emplace_back([this, w] { work(w); });
      } catch (const std::system_error&) {
        break;
      } catch (const std::bad_alloc&) {
        break;
      }
    }
    size_ = static_cast<unsigned>(workers_.size()) + 1;
  }

  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  // Stops and joins the workers (only tests replace a pool; the process's
  // pool lives until exit).
  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    for (auto& t : workers_) t.join();
  }

  unsigned size() const { return size_; }

  void run(unsigned participants, const std::function<void(unsigned)>& body) {
    // One job at a time. A loop started while another thread's job runs (from
    // another thread of the program, or from Python code that a signal
    // handler runs while the caller of a job waits, which may let other
    // Python threads in) runs inline rather than wait for the pool.
    std::unique_lock<std::mutex> one_job(job_mutex_, std::try_to_lock);
    if (!one_job.owns_lock()) {
      for (unsigned p = 0; p < participants; ++p) body(p);
      return;
    }
    interrupt::clear_stop();
    std::exception_ptr failure;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      body_ = &body;
      participants_ = participants;
      pending_ = participants - 1;
      failure_ = nullptr;
      ++generation_;
    }
    wake_.notify_all();
    // While the caller takes part or waits, loops it starts (also from a signal
    // handler run by the interrupt check) run inline, as on a worker.
    t_on_worker = true;
    try {
      body(0);
    } catch (...) {
      failure = std::current_exception();
    }
    std::unique_lock<std::mutex> lock(mutex_);
    while (!done_.wait_for(lock, kPollInterval, [this] { return pending_ == 0; })) {
      if (failure) continue;
      lock.unlock();
      if (interrupt::poll_check()) failure = std::make_exception_ptr(interrupt::Interrupted());
      lock.lock();
    }
    body_ = nullptr;
    if (!failure) failure = failure_;
    lock.unlock();
    t_on_worker = false;
    if (failure) std::rethrow_exception(failure);
  }

 private:
  void work(unsigned index) {
    t_on_worker = true;
    interrupt::mark_pool_worker();
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
      wake_.wait(lock, [&] { return generation_ != seen || quit_; });
      if (quit_) return;
      seen = generation_;
      if (index >= participants_) continue;
      const auto* body = body_;
      lock.unlock();
      std::exception_ptr failure;
      try {
        (*body)(index);
      } catch (...) {
        failure = std::current_exception();
      }
      lock.lock();
      if (failure && !failure_) failure_ = failure;
      if (--pending_ == 0) done_.notify_one();
    }
  }

  unsigned size_ = 1;
  std::vector<std::thread> workers_;
  std::mutex job_mutex_;  // held by the thread whose job the pool runs
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void(unsigned)>* body_ = nullptr;
  unsigned participants_ = 0;
  unsigned pending_ = 0;
  std::uint64_t generation_ = 0;
  bool quit_ = false;
  std::exception_ptr failure_;
};

// The pool of this process. A forked child inherits the pointer but not the
// threads, so the child handler forgets it (deliberately leaking the parent's
// object, whose mutexes may be held) and the next loop builds a new one.
std::atomic<Pool*> g_pool{nullptr};
std::mutex g_create_mutex;
std::once_flag g_atfork_once;

void forget_pool_in_child() {
  g_pool.store(nullptr, std::memory_order_relaxed);
  new (&g_create_mutex) std::mutex();
}

Pool& instance() {
  Pool* p = g_pool.load(std::memory_order_acquire);
  if (p != nullptr) return *p;
  std::call_once(g_atfork_once, [] { pthread_atfork(nullptr, nullptr, forget_pool_in_child); });
  std::lock_guard<std::mutex> lock(g_create_mutex);
  p = g_pool.load(std::memory_order_acquire);
  if (p == nullptr) {
    p = new Pool(configured_threads());
    g_pool.store(p, std::memory_order_release);
  }
  return *p;
}

}  // namespace

unsigned num_threads() {
  if (t_on_worker) return 1;
  Pool* p = g_pool.load(std::memory_order_acquire);
  return p != nullptr ? p->size() : configured_threads();
}

void run(unsigned participants, const std::function<void(unsigned)>& body) {
  if (participants == 0) return;
  if (t_on_worker) {
    // Nested loops run inline on the worker that started them.
    for (unsigned p = 0; p < participants; ++p) body(p);
    return;
  }
  Pool& pool = instance();
  if (participants > pool.size()) participants = pool.size();
  if (participants == 1) {
    body(0);
    return;
  }
  pool.run(participants, body);
}

void parallel_for(std::uint64_t n, std::uint64_t grain,
                  const std::function<void(std::uint64_t, std::uint64_t)>& body) {
  if (n == 0) return;
  if (grain == 0) grain = 1;
  const std::uint64_t chunks = (n + grain - 1) / grain;
  const unsigned threads = num_threads();
  const unsigned participants = static_cast<unsigned>(chunks < threads ? chunks : threads);
  if (participants <= 1) {
    for (std::uint64_t begin = 0; begin < n; begin += grain) {
      interrupt::checkpoint();
      body(begin, begin + grain < n ? begin + grain : n);
    }
    return;
  }
  std::atomic<std::uint64_t> next{0};
  run(participants, [&](unsigned) {
    while (true) {
      interrupt::checkpoint();
      const std::uint64_t c = next.fetch_add(1, std::memory_order_relaxed);
      if (c >= chunks) return;
      const std::uint64_t begin = c * grain;
      body(begin, begin + grain < n ? begin + grain : n);
    }
  });
}

namespace testing {

void rebuild(unsigned threads, unsigned startable_workers) {
  std::lock_guard<std::mutex> lock(g_create_mutex);
  delete g_pool.exchange(nullptr);
  g_startable_workers.store(startable_workers);
  Pool* fresh = nullptr;
  try {
    fresh = new Pool(threads);
  } catch (...) {
    g_startable_workers.store(~0u);
    throw;
  }
  g_startable_workers.store(~0u);
  g_pool.store(fresh, std::memory_order_release);
}

}  // namespace testing

}  // namespace varnel::pool
