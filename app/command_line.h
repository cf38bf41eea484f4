// What the command line asks for: a run, with or without a named export, or
// one of the program's own answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace traskel {

struct CommandLine {
  enum class Action { Run, Help, Version, Misuse };
  Action action = Action::Run;
  std::optional<std::string> file;       // Run: the export named; none: the dialog
  bool checkOnly = false;                // Run: only check the export
  std::optional<std::string> log;        // Run: where the host calls are logged
  std::optional<std::int64_t> fromLine;  // Run: the first line to convert, without asking
  std::string mistake;                   // Misuse: what is wrong, shown before the usage
  std::string hint;                      // Misuse: shown after the usage
};

// Options come before the file, and "--" ends them. "--help", "-h" and "/?"
// ask for the usage, "--version" for the version, "--pruefen" for a check
// instead of a conversion; "--protokoll LOG" or "--protokoll=LOG" names the
// call log, once; "--ab-zeile N" or "--ab-zeile=N" the first line, a number
// from 1, once. An option not known, one without its value, an option
// after the file, or a second file, is a misuse; a misuse wins over
// everything else.
CommandLine ReadCommandLine(const std::vector<std::string>& arguments);

// Shows what a command line other than a run asks for and gives the exit
// status: 0 for the usage or the version asked for, 2 for a misuse, 1 when
// the text could not be written out.
int AnswerCommandLine(const CommandLine& command, UserInterface& ui);

}  // namespace traskel
