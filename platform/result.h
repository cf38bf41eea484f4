// How every platform operation that can fail reports: a value, or the
// failure with its kind, the system's error code and its text. Nothing is
// kept aside for a later call to ask about, so a failure can't be lost to,
// or mixed up with, another operation's.
//
// A type of our own: the standard library has std::expected only from
// C++23, and the distribution packages none that would fit as well as these
// few lines.
#pragma once

#include <exception>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace traskel {

// What failed, the same on every system; the caller decides by it and puts
// it in its own words. The first two come from a system's code, the others
// are the program's own findings about a file, without a code or text.
enum class FailureKind {
  Io,            // any failure of the system's that is none of the below
  NotFound,      // no file or folder by that name
  NotRegular,    // a folder, a pipe or a device where a file was asked for
  Link,          // a symbolic link; on Windows any reparse point
  OtherNames,    // one of several names of the same file
  HeldByOther,   // another holder has the file (the system's code is kept)
  InUse,         // open elsewhere, not by a holder, in a way that keeps holders out
  NameMoved,     // the name leads to another file than the one open
  NameUnsteady,  // the name led to another file at every look
  TooLarge,      // longer than the reader takes
};

struct Failure {
  // errno on POSIX; a Win32 error code or an HRESULT on Windows; 0 for a
  // finding of the program's own.
  long code = 0;
  std::string reason;  // the system's text for the code; empty for a finding
  FailureKind kind = FailureKind::Io;
};

// A finding of the program's own about a file.
inline Failure Finding(FailureKind kind) {
  return {0, {}, kind};
}

// The failure of a system error code (errno on POSIX, a Win32 error or an
// HRESULT on Windows), with its kind and the system's text for it.
Failure SystemFailure(long code);

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: a value is a result
  Result(Failure failure)
      : v_(std::in_place_index<1>, std::move(failure)) {}  // NOLINT: so is a failure
  // A result of a value that converts, such as a pointer to a derived class.
  template <typename U>
  requires std::is_convertible_v<U, T> Result(Result<U> other)  // NOLINT: as its value converts
      : v_(other ? std::variant<T, Failure>(std::in_place_index<0>, std::move(*other))
                 : std::variant<T, Failure>(std::in_place_index<1>, other.failure())) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // Only when ok().
  T& operator*() { return std::get<0>(v_); }
  const T& operator*() const { return std::get<0>(v_); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }

  // Only when not ok().
  const Failure& failure() const { return std::get<1>(v_); }

 private:
  std::variant<T, Failure> v_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Failure failure) : failure_(std::move(failure)), ok_(false) {}  // NOLINT: as above

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  // Only when not ok().
  const Failure& failure() const { return failure_; }

 private:
  Failure failure_;
  bool ok_ = true;
};

// What f returns, or the failure of the exception it throws, such as
// std::bad_alloc: for the operations that promise never to throw.
template <typename F>
auto Caught(F f) -> decltype(f()) {
  try {
    return f();
  } catch (const std::exception& e) {
    return Failure{0, e.what()};
  }
}

}  // namespace traskel
