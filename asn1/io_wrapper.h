// The common frame of the value-notation stream operators: a sentry, then the action, whose
// state (or an exception turned into one) is set on the stream.
#pragma once

#include <ios>
#include <new>

namespace ASN1 {

template <class Stream, class Action>
Stream& io_wrapper(Stream& stream, Action action) {
  if (!stream.good()) return stream;
  typename Stream::sentry sentry(stream);
  if (!sentry) return stream;
  std::ios_base::iostate state;
  try {
    state = action();
  } catch (const std::bad_alloc&) {
    state = std::ios_base::badbit;
  } catch (...) {
    state = std::ios_base::failbit;
  }
  if (state != std::ios_base::goodbit) stream.setstate(state);
  return stream;
}

}  // namespace ASN1
