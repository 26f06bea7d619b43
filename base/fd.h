// Fd: the owner of one file descriptor, and the descriptor-flag functions.
//
// An Fd owns its descriptor and closes it when destroyed. Copying duplicates the descriptor
// (close-on-exec), so every copy owns its own; moving hands the descriptor over. Only negative
// values mean "no descriptor": 0 is an open descriptor like any other.
#pragma once

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd& other) : fd_(other.dup()) {}
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(const Fd& other);
  Fd& operator=(Fd&& other) noexcept;
  // Leaves errno alone when there is nothing to close.
  ~Fd() {
    if (fd_ >= 0) close();
  }

  // close(2) when open, after the device seam forgot the descriptor (base/device.h); the Fd is
  // closed afterwards even when close(2) failed. On a closed Fd:
  // errno EBADF and -1.
  int close();
  // A new close-on-exec descriptor for the same file, or -1 (closed, or dup failed).
  int dup() const;
  // Sets O_NONBLOCK; false when closed or fcntl fails.
  bool NonBlock() const;
  // Gives up ownership: returns the descriptor and leaves the Fd closed.
  int release();

  explicit operator bool() const { return fd_ >= 0; }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

// fcntl(F_SETFL) with O_NONBLOCK set or cleared; false when either fcntl call fails.
bool NonBlockMode(int fd);
bool BlockMode(int fd);
// fcntl(F_SETFD) with FD_CLOEXEC set (on) or cleared; true on success.
bool SetCloexec(int fd, bool on);
