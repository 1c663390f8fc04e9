// Text written to a file descriptor through write(2), all of it or a failure: a write
// cut short by a signal is taken up where it stopped, so nothing is lost or doubled.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>

class DescriptorOutput {
  public:
    explicit DescriptorOutput(int fd) : fd_(fd) {}

    // False once a write has failed; later calls write nothing.
    bool write(std::string_view text) {
        while (!text.empty() && error_ == 0) {
            const ssize_t n = ::write(fd_, text.data(), text.size());
            if (n < 0 && errno != EINTR) error_ = errno;
            if (n > 0) text.remove_prefix(static_cast<size_t>(n));
        }
        return error_ == 0;
    }
    int error() const { return error_; }

  private:
    int fd_;
    int error_ = 0;
};
