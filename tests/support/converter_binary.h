// Runs the shipped converter as a user does: the answer to its dialog on
// standard input, the simulated host set by environment, in a folder of the
// test's own, with a deadline so that a hang fails the test instead of
// stalling the suite.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_bed.h"

extern char** environ;

namespace traskel::testing {

struct Outcome {
  int status = -1;  // exit status; -1 when killed at the deadline or by a signal
  std::string out, err;
};

struct BinaryOptions {
  std::vector<std::string> env;   // NAME=value, over the test's own environment
  bool asNobody = false;          // as user nobody, so that permissions count
  bool trace = false;             // into the fixture's trace file
  std::vector<std::string> args;  // on the command line
  // The largest file the converter may write, as on a disk that is full
  // beyond it: a longer write fails.
  std::optional<rlim_t> fileSizeLimit;
  // Where standard output goes instead of the test's file, such as /dev/full.
  std::string output;
  // Standard output a pipe that no one reads: its reader has gone.
  bool outputClosed = false;
};

// A converter started and not yet finished.
struct Started {
  pid_t pid = -1;
  std::string out, err;  // the files its output goes to
};

inline BinaryOptions Traced(std::vector<std::string> env = {}) {
  BinaryOptions o;
  o.env = std::move(env);
  o.trace = true;
  return o;
}
inline BinaryOptions WithEnv(std::vector<std::string> env) {
  BinaryOptions o;
  o.env = std::move(env);
  return o;
}

// Sets NAME=value in env, replacing an earlier value: the C library reads
// the first of two, so appending would not override.
inline void PutEnv(std::vector<std::string>& env, const std::string& entry) {
  const std::string name = entry.substr(0, entry.find('=') + 1);
  std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
  env.push_back(entry);
}

class ConverterBinary : public ::testing::Test {
 protected:
  // Runs the converter with `answer` typed into its dialog, in the folder.
  Outcome Run(const std::string& answer, const BinaryOptions& o = {}) {
    return Finish(Start(answer, o));
  }

  // Starts the converter as Run does; `tag` keeps the files of runs that go
  // on side by side apart.
  Started Start(const std::string& answer, const BinaryOptions& o = {},
                const std::string& tag = "") {
    const std::string in = folder.File("answer" + tag + ".txt");
    Started started{-1, folder.File("out" + tag + ".txt"), folder.File("err" + tag + ".txt")};
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
    PutEnv(env, "LC_ALL=C.UTF-8");
    PutEnv(env, "TRASKEL_SETTINGS_DIR=" + folder.File("settings"));
    if (o.trace) PutEnv(env, "QUORVEX_SIM_TRACE=" + trace);
    for (const std::string& entry : o.env) PutEnv(env, entry);
    std::vector<std::string> argv;
    if (o.asNobody) argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    argv.push_back(TRASKEL_BINARY);
    argv.insert(argv.end(), o.args.begin(), o.args.end());

    std::vector<char*> envp, args;
    for (auto& v : env) envp.push_back(v.data());
    envp.push_back(nullptr);
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);

    const std::string dir = folder.path();
    // A pipe whose reader is gone before the converter starts.
    int pipeEnds[2] = {-1, -1};
    if (o.outputClosed && (pipe(pipeEnds) != 0 || close(pipeEnds[0]) != 0)) return started;
    started.pid = fork();
    if (started.pid == 0) {
      // The signals the converter meets as a shell would leave them to it.
      signal(SIGPIPE, SIG_DFL);
      signal(SIGXFSZ, SIG_DFL);
      const std::string out = o.output.empty() ? started.out : o.output;
      int fdIn = open(in.c_str(), O_RDONLY),
          fdOut =
              o.outputClosed ? pipeEnds[1] : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666),
          fdErr = open(started.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (fdIn < 0 || fdOut < 0 || fdErr < 0 || chdir(dir.c_str()) != 0) _exit(126);
      dup2(fdIn, 0), dup2(fdOut, 1), dup2(fdErr, 2);
      if (o.fileSizeLimit) {
        const rlimit limit{*o.fileSizeLimit, *o.fileSizeLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
      }
      execve(args[0], args.data(), envp.data());
      _exit(127);
    }
    if (o.outputClosed) close(pipeEnds[1]);
    return started;
  }

  // Waits for a started converter, with a deadline so that a hang fails the
  // test instead of stalling the suite.
  Outcome Finish(const Started& started) {
    Outcome r;
    if (started.pid < 0) return r;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int raw = 0;
    while (waitpid(started.pid, &raw, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(started.pid, SIGKILL);
        waitpid(started.pid, &raw, 0);
        ADD_FAILURE() << "the converter did not end within 20 s";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadAll(started.out);
    r.err = ReadAll(started.err);
    return r;
  }

  // The next run starts afresh, not after where the last one stopped.
  void ForgetWhereRunsStopped() { std::filesystem::remove(folder.File("settings/traskel")); }

  TempFolder folder;
  std::string trace = folder.File("trace.txt");
};

}  // namespace traskel::testing
