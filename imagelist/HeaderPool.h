// Threads that read image headers for the list: jobs go in from the list's thread, results
// wait in a queue until that thread collects them. The workers touch nothing but the job they
// hold and the two queues.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "imaging/Headers.h"

namespace imagelist {

struct HeaderJob {
  uint64_t serial = 0;  // tells a job from an earlier one for the same path
  std::string path;
  std::string extension;  // the detected codec's extension, or "ico"/"cur"
  imaging::CodecOptions options;
  bool silenced = false;  // added while messages were silenced
};

struct HeaderResult {
  HeaderJob job;
  bool read = false;    // the header gave the size
  bool decode = false;  // the codec has no header reader: the list's thread decodes the file
  imaging::ImageHeader header;
  std::string cause;  // why the header could not be read
};

class HeaderPool {
public:
  // `threads` workers start with the first job.
  explicit HeaderPool(int threads);
  ~HeaderPool();
  HeaderPool(const HeaderPool&) = delete;
  HeaderPool& operator=(const HeaderPool&) = delete;

  void Submit(HeaderJob job);
  // The results finished so far, in the order they finished.
  std::vector<HeaderResult> TakeResults();
  // Blocks until every submitted job has finished.
  void WaitIdle();
  // Jobs submitted and not yet taken as results.
  int Outstanding() const;
  // Called on a worker thread after each result is queued (for a window that posts itself an
  // event to collect). Set before the first job.
  std::function<void()> resultReady;

private:
  void Work(std::stop_token stop);
  static HeaderResult Run(HeaderJob job);

  const int threadCount_;
  mutable std::mutex mutex_;
  std::condition_variable_any jobReady_;
  std::condition_variable idle_;
  std::deque<HeaderJob> jobs_;
  std::vector<HeaderResult> results_;
  int running_ = 0;
  int outstanding_ = 0;
  std::vector<std::jthread> threads_;  // last: stopped and joined before the queues go
};

}  // namespace imagelist
