// How every platform operation that can fail reports: a value, or the
// failure with the system's error code and its text. Nothing is kept aside
// for a later call to ask about, so a failure can't be lost to, or mixed up
// with, another operation's.
//
// A type of our own: the standard library has std::expected only from
// C++23, and the distribution packages none that would fit as well as these
// few lines.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace traskel {

struct Failure {
  // errno on POSIX; a Win32 error code or an HRESULT on Windows; 0 when the
  // failure is the program's own finding, told by the reason alone.
  long code = 0;
  std::string reason;  // the system's text for the code, or the finding
};

// Codes of the program's own findings that a caller tells apart start here.
// Windows keeps bit 29 of an error code for programs' own codes, so no
// system error has it, and errno values stay far below it.
inline constexpr long kOwnFailureCode = 0x20000000;

// The failure of a system error code (errno on POSIX, a Win32 error or an
// HRESULT on Windows), with the system's text for it.
Failure SystemFailure(long code);

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: a value is a result
  Result(Failure failure)
      : v_(std::in_place_index<1>, std::move(failure)) {}  // NOLINT: so is a failure

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

}  // namespace traskel
