// The converter run on one bad input, and what the catalogue checks of it.
#pragma once

#include <filesystem>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "support/converter_binary.h"
#include "support/test_bed.h"

namespace traskel::badinput {

using testing::Outcome;
using testing::ReadAll;
using testing::Started;
using testing::Traced;
using testing::WithEnv;
using Options = testing::BinaryOptions;

// The number of commands the listing on standard output names, or -1.
inline long ListedCommands(const std::string& out) {
  static const std::regex header(R"(Quorvex measurement program: (\d+) commands?\n)");
  std::smatch m;
  return std::regex_search(out, m, header) ? std::stol(m[1]) : -1;
}

inline std::string Header() {
  std::string h;
  for (int i = 1; i <= 10; ++i) h += "Kopf " + std::to_string(i) + "\n";
  return h;
}

class BadInput : public testing::ConverterBinary {
 protected:
  // Writes the export and runs on it, a run of its own; the export must
  // come out unchanged.
  Outcome RunOn(const std::string& content, Options o = {}) {
    const std::string path = folder.Write("teil.csv", content);
    ForgetWhereRunsStopped();
    Outcome r = Run("teil.csv", std::move(o));
    EXPECT_TRUE(ReadAll(path) == content) << "the export was changed";
    return r;
  }

  bool CopyLeft() const { return std::filesystem::exists(folder.File("teil.csvconf")); }
};

}  // namespace traskel::badinput
