#include "base/async_copy.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ASync {

namespace {

const short kTrouble = POLLERR | POLLHUP | POLLNVAL;

bool is_blocking(const Fd& fd) {
  const int flags = fd ? ::fcntl(fd.get(), F_GETFL) : -1;
  return flags >= 0 && !(flags & O_NONBLOCK);
}

bool same_file(const Fd& a, const Fd& b) {
  struct stat sa, sb;
  return ::fstat(a.get(), &sa) == 0 && ::fstat(b.get(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

Copy::~Copy() {
  delete handler_;
  release(src_, src_was_blocking_);
  release(dst_, dst_was_blocking_);
}

// O_NONBLOCK lives on the open file, which the caller's descriptors share with the copy's
// duplicates: the caller gets them back as blocking as they were.
void Copy::release(Fd& fd, bool& was_blocking) {
  if (was_blocking && fd) BlockMode(fd.get());
  was_blocking = false;
  fd.close();
}

void Copy::Bind(Handler* handler) {
  Handler* old = handler_;
  handler_ = handler;
  if (old != handler) delete old;
}

void Copy::set_events(const EventsParams& params) {
  params_ = params;
  Complete(Status::Reconfigured);
}

void Copy::set_bufsize(unsigned size) {
  make_buffer(size ? size : kDefaultBufSize);
  Complete(Status::Reconfigured);
}

void Copy::make_buffer(unsigned size) {
  buffer_.reset(new char[size]);
  bufsize_ = size;
}

void Copy::Start(Fd source, Fd destination) {
  state_ = Status::Copying;
  release(src_, src_was_blocking_);
  release(dst_, dst_was_blocking_);
  src_ = std::move(source);
  dst_ = std::move(destination);
  src_was_blocking_ = is_blocking(src_);
  dst_was_blocking_ = is_blocking(dst_);
  src_.NonBlock();
  dst_.NonBlock();
  src_event_.Release();
  dst_event_.Release();
  src_event_.Bind("Copy::OnSrcEvent", &Copy::OnSrcEvent, this);
  dst_event_.Bind("Copy::OnDstEvent", &Copy::OnDstEvent, this);
  if (!buffer_) make_buffer(kDefaultBufSize);
  src_event_.Schedule(src_, 0);
  dst_event_.Schedule(dst_, 0);
  error_ = 0;
  written_ = 0;
  pos_ = end_ = 0;
  step_ = &Copy::SrcReady;
  Progress();
}

void Copy::Stop() {
  if (state_ == Status::Copying) GoFlush();
}

// Each step returns true to have the next one run at once; a step that completes the copy
// returns false, as the handler may have destroyed it.
void Copy::Progress() {
  while ((this->*step_)()) {
  }
}

bool Copy::SrcReady() {
  errno = 0;
  ssize_t n = ::read(src_.get(), buffer_.get(), bufsize_);
  if (n > 0) {
    pos_ = 0;
    end_ = size_t(n);
    GoWriting();
    return true;
  }
  if (n == 0) return GoFlush();
  if (errno == EINTR) return true;
  if (errno == EAGAIN) {
    src_event_.set_events(params_.src);
    dst_event_.set_events(0);
    return false;
  }
  // After data has flowed, a read error counts as the end of the source.
  if (written_ == 0) return Complete(Status::Failed);
  return GoFlush();
}

bool Copy::DstReady() {
  ssize_t n = ::write(dst_.get(), buffer_.get() + pos_, end_ - pos_);
  if (n < 0) {
    if (errno == EINTR) return true;
    if (errno == EAGAIN) {
      src_event_.set_events(0);
      dst_event_.set_events(params_.dst);
      return false;
    }
    error_ = errno;
    return Complete(Status::Failed);
  }
  if (n == 0) {
    error_ = 0;
    return Complete(Status::Failed);
  }
  written_ += unsigned(n);
  pos_ += size_t(n);
  if (pos_ < end_) return true;
  if (state_ == Status::Flushing) return GoFlushDst();
  GoReading();
  return true;
}

void Copy::GoReading() {
  src_event_.set_events(params_.src);
  dst_event_.set_events(0);
  step_ = &Copy::SrcReady;
}

void Copy::GoWriting() {
  src_event_.set_events(0);
  dst_event_.set_events(params_.dst);
  step_ = &Copy::DstReady;
}

bool Copy::GoFlush() {
  src_event_.Release();
  // A destination on the same file must stay non-blocking: it gets its mode back at the end.
  if (src_was_blocking_ && same_file(src_, dst_)) src_was_blocking_ = false;
  release(src_, src_was_blocking_);
  if (step_ == &Copy::DstReady) {
    state_ = Status::Flushing;
    return true;
  }
  return GoFlushDst();
}

bool Copy::GoFlushDst() {
  if (params_.flush == 0) return Complete(Status::Done);
  dst_event_.set_events(params_.flush);
  step_ = &Copy::NotReady;
  state_ = Status::Draining;
  return true;
}

bool Copy::Complete(Status::Type status) {
  if (!running()) return false;
  src_event_.UnBind();
  dst_event_.UnBind();
  state_ = status;
  src_event_.Release();
  dst_event_.Release();
  release(src_, src_was_blocking_);
  release(dst_, dst_was_blocking_);
  step_ = &Copy::NotReady;
  if (handler_) handler_->Invoke(status);
  return false;
}

void Copy::OnSrcEvent(int, short revents) {
  if (revents & params_.src) {
    Progress();
  } else if (revents & kTrouble) {
    // The next read sees the end of the source or its error.
    src_event_.Release();
    Progress();
  }
}

void Copy::OnDstEvent(int, short revents) {
  if (revents & kTrouble) {
    error_ = 0;
    Complete(Status::Failed);
  } else if (state_ == Status::Copying || state_ == Status::Flushing) {
    if (revents & params_.dst) Progress();
  } else if (state_ == Status::Draining) {
    if (revents & params_.flush) Complete(Status::Done);
  }
}

}  // namespace ASync
