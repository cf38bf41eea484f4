// The file a trace is appended to. Each Append is one write, so every line
// reaches the file whole, even if the process stops right after it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvex_sim {

class TraceFile {
 public:
  TraceFile() = default;
  ~TraceFile() { Close(); }
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  // Opens (creating it if needed) for appending; false and the system's
  // reason when it can't. The path is UTF-8.
  bool Open(const std::string& path, std::string& reason);
  // False and the system's reason when not all of text was written.
  bool Append(std::string_view text, std::string& reason);
  void Close();
  bool isOpen() const { return handle_ != kClosed; }

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // a descriptor or a HANDLE
};

}  // namespace quorvex_sim
