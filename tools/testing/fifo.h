#ifndef ZSEPA_TOOLS_TESTING_FIFO_H_
#define ZSEPA_TOOLS_TESTING_FIFO_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

namespace zsepa::cli::testing {

// Creates the named pipe `path`.
inline void MakeFifo(const std::string& path) {
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
}

// Runs `call`, which is given the named pipe `fifo`, on a thread of its own.
// A call still waiting for the pipe after half a minute is a failure; the
// pipe's writing end is then opened and closed, so that the call sees an
// empty pipe and returns instead of hanging the test.
inline void ExpectNoWaitOn(const std::string& fifo,
                           const std::function<void()>& call) {
  std::future<void> done = std::async(std::launch::async, call);
  if (done.wait_for(std::chrono::seconds(30)) == std::future_status::ready) {
    done.get();
    return;
  }
  ADD_FAILURE() << "waited for the named pipe " << fifo;
  while (done.wait_for(std::chrono::milliseconds(100)) !=
         std::future_status::ready) {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  }
  done.get();
}

}  // namespace zsepa::cli::testing

#endif  // ZSEPA_TOOLS_TESTING_FIFO_H_
