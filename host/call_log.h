// A log of the host operations the program carries out, written on the
// caller's side, one line each as the host's own trace writes them: what was
// created, got, put and called, with every argument and the result or the
// error. It shows which calls went out to a real host and where it refused.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "host/value.h"

namespace traskel::host {

// How the log names objects: by the role they have for the program.
struct ObjectRoles {
  struct Created {
    std::string_view className;
    std::string_view role;
  };
  // What a get or a call of `id` on an object of role `from` gives back.
  struct Result {
    std::string_view from;
    DispId id;
    std::string_view role;
  };
  std::span<const Created> created;
  std::span<const Result> results;
};

// Each line, without its line end.
using LogLine = std::function<void(const std::string& line)>;

// Where the log keeps the line of the operation under way, up to its
// result: for a call that never returns, which the log then ends with.
class PendingOperation {
 public:
  // Empty when none is under way. Only while the calling thread is held in
  // the call, or stopped for good.
  std::string Line() const {
    const std::string* line = line_.load(std::memory_order_acquire);
    return line != nullptr ? *line : std::string();
  }
  void Set(const std::string* line) { line_.store(line, std::memory_order_release); }

 private:
  std::atomic<const std::string*> line_{nullptr};
};

// Creates objects through `inner`; every operation on them, or on any object
// reached through them, goes to `write` once it is carried out. A call the
// host refused as busy is no line: it was not carried out, and a repeat that
// is carried out is. `pending`, when given, keeps the operation under way.
// `inner` must outlive what this returns and its objects.
std::unique_ptr<Automation> LoggingCalls(Automation& inner, const ObjectRoles& roles, LogLine write,
                                         PendingOperation* pending = nullptr);

}  // namespace traskel::host
