// A stand-in for the measurement host: the automation objects the converter
// uses, each call checked as a real server would, a model of the open
// measurement program, and a trace of every operation received.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/value.h"

namespace quorvex_sim {

using traskel::host::Value;

enum class State {
  Running,     // everything present
  Absent,      // creating "Quorvex.Application" fails
  NoProgram,   // Application 2 gives Nothing
  NoCommands,  // MeasurementProgram 11 gives Nothing
};

struct Options {
  State state = State::Running;
  std::string tracePath;                              // appended to; empty: none
  std::function<void(const std::string&)> traceSink;  // each trace line, without LF
  std::int64_t failAt = 0;                            // the N-th operation fails; 0: none
  bool handBackNewPointData = false;                  // FeatureData 60 returns a new PointData
  bool showProgress = true;                           // status text on a terminal's stderr
  bool printListing = true;                           // listing on stdout at the end of a run
  // A busy spell: when operation busyAt arrives, every operation is refused
  // for busyFor, without being carried out or counted. 0: never busy.
  std::int64_t busyAt = 0;
  std::chrono::milliseconds busyFor{0};
  std::chrono::milliseconds delay{0};  // each operation waits this long first
  // At the N-th operation the host ends, as a crash would; 0: never. It
  // calls endProcess, which does not return. Without one (the host in the
  // caller's own process, whose end would be the caller's too) the operation
  // fails with a host error that says the host ended.
  std::int64_t exitAt = 0;
  std::function<void()> endProcess;
  // The N-th operation never returns, as with a host stuck in a dialog of
  // its own or on a network drive; 0: none.
  std::int64_t hangAt = 0;

  // QUORVEX_SIM_STATE, QUORVEX_SIM_TRACE, QUORVEX_SIM_FAIL_AT,
  // QUORVEX_SIM_EXIT_AT, QUORVEX_SIM_HANG_AT, QUORVEX_SIM_BUSY (N:MS) and
  // QUORVEX_SIM_DELAY (MS).
  static Options FromEnvironment();
};

// What one FeatureData 60 stored: the point data's numbers at that moment.
struct SlotData {
  enum class Kind { Position, Vector, Value };
  Kind kind = Kind::Value;  // what the point data was loaded with last
  double x = 0, y = 0, z = 0;
  double i = 0, j = 0, k = 0;
  double value = 0;
  std::int32_t pointDataId = 0;  // which point-data object carried them
};

struct Command {
  std::int32_t typeCode = 0;
  std::string label;                                 // Cmd put 3
  std::map<std::int32_t, Value> properties;          // FeatureData puts, Cmd put 0
  std::map<std::int32_t, std::string> texts;         // Cmd 28: code -> text, last one wins
  std::map<std::int32_t, SlotData> slots;            // FeatureData 60: slot code -> data
  std::vector<std::int32_t> slotOrder;               // slot codes in the order stored
  std::int32_t commentKind = 0;                      // CommentData put 1
  std::vector<std::int32_t> commentFormat;           // Cmd 93 arguments
  std::map<std::int32_t, std::string> commentLines;  // CommentData 6: line -> text
};

class SimHost : public traskel::host::Automation {
 public:
  explicit SimHost(Options options = {});
  ~SimHost() override;

  traskel::host::ObjectPtr CreateObject(const std::string& className) override;
  // Prints the listing (if enabled) and clears the progress line.
  void EndOfRun() override;

  // The model. The program starts with one command: type 1, label "START".
  bool hasProgram() const;
  const std::vector<Command>& commands() const;
  const std::string& statusText() const;  // last Application put 9
  std::int64_t operationCount() const;

  // Whether an operation arriving now is refused, as during a busy spell;
  // the operation that starts the spell is the first one refused. A server
  // asks before it takes a call in; the host's objects ask by themselves.
  bool RefusesIncomingCall();

  // One command a line, readable.
  std::string Listing() const;

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace quorvex_sim
