// Helpers of the transport tests.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <iostream>
#include <sstream>
#include <string>

// Captures what a standard stream receives while it lives.
class StreamCapture {
 public:
  explicit StreamCapture(std::ostream& os) : os_(os), old_(os.rdbuf(text_.rdbuf())) {}
  ~StreamCapture() { os_.rdbuf(old_); }
  std::string take() {
    std::string s = text_.str();
    text_.str("");
    return s;
  }

 private:
  std::ostream& os_;
  std::ostringstream text_;
  std::streambuf* old_;
};

// While it lives, the process can open no further descriptor: every attempt fails with EMFILE.
class DescriptorExhaustion {
 public:
  DescriptorExhaustion() {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    int lowest = ::dup(2);
    ::close(lowest);
    rlimit tight = saved_;
    tight.rlim_cur = static_cast<rlim_t>(lowest);
    ::setrlimit(RLIMIT_NOFILE, &tight);
  }
  ~DescriptorExhaustion() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
  DescriptorExhaustion(const DescriptorExhaustion&) = delete;
  DescriptorExhaustion& operator=(const DescriptorExhaustion&) = delete;

 private:
  rlimit saved_;
};
