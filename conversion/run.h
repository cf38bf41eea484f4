// The state of one run: what the program keeps from start to end, and the
// platform services it talks to. Handed to every step; nothing is global, so
// runs can go on side by side.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "host/value.h"

namespace traskel {

class UserInterface;
class SettingsStore;

inline constexpr int kFieldCount = 81;
using FieldArray = std::array<std::string, kFieldCount>;

struct NumberFormat {
  std::string decimalSeparator = ".";
};

struct Platform {
  UserInterface& ui;
  SettingsStore& settings;
  host::Automation& automation;
  NumberFormat numbers;
};

struct Run {
  explicit Run(Platform& p) : platform(p) {}

  Platform& platform;

  std::string ImportFile;
  std::string ImportDir;
  FieldArray Fields;

  host::Ref Application;
  host::Ref PointData;
  host::Ref MeasurementProgram;
  host::Ref CMDS;
  host::Ref Cmd;
  host::Ref FeatureData;

  // Where the conversion stands, so an error that ends it can name the line.
  std::int64_t lineNumber = 0;
  std::string line;
};

}  // namespace traskel
