#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace skorvatin::bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Timings of one contender in one setting, in seconds.
struct Samples {
  std::vector<double> values;
  double median() const;
  double min() const;
  double max() const;
};

// One row of the printed table.
struct Row {
  int n = 0;
  std::string fs;
  std::string contender;
  std::string unit;  // "ms", "MiB", "B/entry"
  Samples samples;
};

// One closing line: ours against its baseline, with the limit it is held to where there is one.
struct Metric {
  std::string name;
  int n = 0;
  std::string fs;
  double ours = 0;
  double baseline = 0;
  double limit = 0;           // 0: reported only
  bool limitOnValue = false;  // the limit holds `ours` itself (bytes per entry), not the ratio
  std::string unit;           // of ours and baseline, printed with them
  std::string note;           // what the ratio compares, printed after it
  double ratio() const { return baseline > 0 ? ours / baseline : 0; }
};

class Report {
 public:
  Row& addRow(int n, std::string fs, std::string contender, std::string unit, Samples samples);
  const Row* find(int n, const std::string& fs, const std::string& contender) const;
  void addMetric(Metric m) { metrics_.push_back(std::move(m)); }
  // A closing line with no ratio (request counts), printed among the metrics in the order added.
  void addLine(std::string line) { lines_.emplace_back(metrics_.size(), std::move(line)); }

  // The table first, then one metric line each, in the order they were added.
  void print() const;

 private:
  std::vector<Row> rows_;
  std::vector<Metric> metrics_;
  std::vector<std::pair<std::size_t, std::string>> lines_;  // each after that many metrics
};

// A contender: prepare() runs untimed before every timed call of run() (a fresh folder, say), and
// check(), where there is one, untimed after it, warm-up calls included: it throws when the run did
// not do what it is timed for.
struct Contender {
  std::string name;
  std::function<void()> run;
  std::function<void()> prepare;
  std::function<void()> check = {};
};

// Called untimed just before and just after each timed call of contender `index`, before its
// check; warm-up calls are not watched.
// Called just before and just after each contender's run; `timed` is false in the warm-up round.
using Watcher = std::function<void(std::size_t index, bool finished, bool timed)>;

// Runs every contender `reps` times, interleaved and with the order rotated each round so that
// machine noise and warm caches fall on all of them alike; one untimed warm-up round first.
std::vector<Samples> alternate(const std::vector<Contender>& contenders, int reps, bool warmUp = true,
                               const Watcher& watch = {});

}  // namespace skorvatin::bench
