// Test helper: replaces standard input or output with a pipe for the
// length of a scope, so console code reads and writes what the test sees.
#pragma once
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace fb {

class PipedDescriptor {
 public:
  explicit PipedDescriptor(int fd) : fd_(fd) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    readEnd_ = fds[0];
    writeEnd_ = fds[1];
    saved_ = dup(fd);
    dup2(fd == STDIN_FILENO ? readEnd_ : writeEnd_, fd);
  }
  ~PipedDescriptor() {
    dup2(saved_, fd_);
    close(saved_);
    if (readEnd_ >= 0) close(readEnd_);
    if (writeEnd_ >= 0) close(writeEnd_);
  }
  void Write(const std::string& bytes) {
    ASSERT_EQ(write(writeEnd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  std::string ReadAvailable() {
    fcntl(readEnd_, F_SETFL, O_NONBLOCK);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(readEnd_, buffer, sizeof buffer)) > 0) out.append(buffer, size_t(n));
    return out;
  }
  void CloseWriter() {
    close(writeEnd_);
    writeEnd_ = -1;
  }

 private:
  int fd_, readEnd_ = -1, writeEnd_ = -1, saved_ = -1;
};

}  // namespace fb
