#pragma once

#include <string>
#include <vector>

namespace skorvatin::bench {

struct ChildRun {
  double startedAt = 0;  // CLOCK_MONOTONIC seconds just before the spawn
  std::string output;    // everything the child wrote to stdout
  int exitStatus = -1;
};

// Starts `program` with `args`, collects its stdout until it exits, and ends it when it has not
// exited after `timeoutSeconds`.
ChildRun runChild(const std::string& program, const std::vector<std::string>& args,
                  double timeoutSeconds = 60);

// CLOCK_MONOTONIC in seconds: the clock the probes report in, the same in every process.
double monotonicSeconds();

// The folder that holds this executable: the probes are built beside it.
std::string ownFolder();

// The number after "key=" in text, or -1.
double numberAfter(const std::string& text, const std::string& key);

}  // namespace skorvatin::bench
