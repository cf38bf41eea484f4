// Runs the shipped converter on one bad input: the answer to its dialog on
// standard input, the simulated host set by environment, a deadline so that
// a hang fails the test instead of stalling the suite.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_bed.h"

extern char** environ;

namespace traskel::badinput {

using testing::ReadAll;

struct Outcome {
  int status = -1;  // exit status; -1 when killed at the deadline or by a signal
  std::string out, err;
};

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

struct Options {
  std::vector<std::string> env;  // NAME=value, over the test's own environment
  bool asNobody = false;         // as user nobody, so that permissions count
  bool trace = false;            // into the fixture's trace file
};

inline Options Traced(std::vector<std::string> env = {}) {
  Options o;
  o.env = std::move(env);
  o.trace = true;
  return o;
}
inline Options WithEnv(std::vector<std::string> env) {
  Options o;
  o.env = std::move(env);
  return o;
}

class BadInput : public ::testing::Test {
 protected:
  // Runs the converter with `answer` typed into its dialog, in the folder.
  Outcome Run(const std::string& answer, Options o) {
    const std::string in = folder.File("answer.txt"), out = folder.File("out.txt"),
                      err = folder.File("err.txt");
    std::ofstream(in, std::ios::binary) << answer << '\n';

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      std::string v = *e;
      if (v.starts_with("QUORVEX_SIM_") || v.starts_with("LC_") || v.starts_with("LANG=") ||
          v.starts_with("TRASKEL_")) {
        continue;
      }
      env.push_back(v);
    }
    env.push_back("LC_ALL=C.UTF-8");
    env.push_back("TRASKEL_SETTINGS_DIR=" + folder.File("settings"));
    if (o.trace) env.push_back("QUORVEX_SIM_TRACE=" + trace);
    env.insert(env.end(), o.env.begin(), o.env.end());
    std::vector<std::string> argv;
    if (o.asNobody) argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    argv.push_back(TRASKEL_BINARY);

    std::vector<char*> envp, args;
    for (auto& v : env) envp.push_back(v.data());
    envp.push_back(nullptr);
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);

    const std::string dir = folder.path();
    pid_t pid = fork();
    if (pid == 0) {
      int fdIn = open(in.c_str(), O_RDONLY),
          fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666),
          fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (fdIn < 0 || fdOut < 0 || fdErr < 0 || chdir(dir.c_str()) != 0) _exit(126);
      dup2(fdIn, 0), dup2(fdOut, 1), dup2(fdErr, 2);
      execve(args[0], args.data(), envp.data());
      _exit(127);
    }
    Outcome r;
    if (pid < 0) return r;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int raw = 0;
    while (waitpid(pid, &raw, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &raw, 0);
        ADD_FAILURE() << "the converter did not end within 20 s";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadAll(out);
    r.err = ReadAll(err);
    return r;
  }
  Outcome Run(const std::string& answer) { return Run(answer, Options{}); }

  // Writes the export and runs on it; the export must come out unchanged.
  Outcome RunOn(const std::string& content, Options o = {}) {
    const std::string path = folder.Write("teil.csv", content);
    Outcome r = Run("teil.csv", std::move(o));
    EXPECT_TRUE(ReadAll(path) == content) << "the export was changed";
    return r;
  }

  bool CopyLeft() const { return std::filesystem::exists(folder.File("teil.csvconf")); }

  testing::TempFolder folder;
  std::string trace = folder.File("trace.txt");
};

}  // namespace traskel::badinput
