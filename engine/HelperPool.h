// A fixed number of helper threads that do pieces of work in the order they were handed over.
// The conversion run hands them the part of each file that needs no other file; it waits for a
// piece through the future Hand returns.
#pragma once

#include <condition_variable>
#include <deque>
#include <future>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace engine {

class HelperPool {
public:
  // Starts `helpers` threads (at least one).
  explicit HelperPool(int helpers);
  // Work not yet begun is dropped (its future then reports a broken promise); work in progress
  // is finished first.
  ~HelperPool();
  HelperPool(const HelperPool&) = delete;
  HelperPool& operator=(const HelperPool&) = delete;

  // Queues the work behind everything handed over before; the future is ready when it has run,
  // and carries what it threw.
  std::future<void> Hand(std::function<void()> work);

private:
  void Serve(std::stop_token stop);

  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<std::packaged_task<void()>> queue_;
  std::vector<std::jthread> threads_;  // last: joined before the queue goes
};

}  // namespace engine
