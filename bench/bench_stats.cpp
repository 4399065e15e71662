#include "bench/bench_stats.h"

#include <algorithm>
#include <cstdio>

namespace skorvatin::bench {

double Samples::median() const {
  if (values.empty()) return 0;
  std::vector<double> v = values;
  std::sort(v.begin(), v.end());
  const std::size_t mid = v.size() / 2;
  return v.size() % 2 == 1 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

double Samples::min() const {
  return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double Samples::max() const {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

Row& Report::addRow(int n, std::string fs, std::string contender, std::string unit, Samples samples) {
  rows_.push_back(Row{n, std::move(fs), std::move(contender), std::move(unit), std::move(samples)});
  return rows_.back();
}

const Row* Report::find(int n, const std::string& fs, const std::string& contender) const {
  for (const Row& r : rows_) {
    if (r.n == n && r.fs == fs && r.contender == contender) return &r;
  }
  return nullptr;
}

namespace {
double shown(const Row& r, double v) {
  return r.unit == "ms" ? v * 1000 : v;
}
}  // namespace

void Report::print() const {
  std::printf("\n%7s  %-6s  %-58s %12s %12s %12s  %s\n", "N", "fs", "contender", "median", "min", "max",
              "unit");
  for (const Row& r : rows_) {
    std::printf("%7d  %-6s  %-58s %12.3f %12.3f %12.3f  %s  (%zu runs)\n", r.n, r.fs.c_str(),
                r.contender.c_str(), shown(r, r.samples.median()), shown(r, r.samples.min()),
                shown(r, r.samples.max()), r.unit.c_str(), r.samples.values.size());
  }
  std::printf("\n");
  std::size_t line = 0;
  auto linesUpTo = [&](std::size_t metricsBefore) {
    for (; line < lines_.size() && lines_[line].first <= metricsBefore; ++line)
      std::printf("%s\n", lines_[line].second.c_str());
  };
  for (std::size_t i = 0; i < metrics_.size(); ++i) {
    linesUpTo(i);
    const Metric& m = metrics_[i];
    std::printf("metric=%s n=%d fs=%s ratio=%.3f", m.name.c_str(), m.n, m.fs.c_str(), m.ratio());
    if (!m.unit.empty())
      std::printf(" ours=%.3f%s baseline=%.3f%s", m.ours, m.unit.c_str(), m.baseline, m.unit.c_str());
    if (m.limit > 0) {
      const double held = m.limitOnValue ? m.ours : m.ratio();
      std::printf(" target:%s<=%.2f %s", m.limitOnValue ? "ours" : "ratio", m.limit,
                  held <= m.limit ? "MET" : "MISSED");
    }
    if (!m.note.empty()) std::printf("  (%s)", m.note.c_str());
    std::printf("\n");
  }
  linesUpTo(metrics_.size());
  std::fflush(stdout);
}

std::vector<Samples> alternate(const std::vector<Contender>& contenders, int reps, bool warmUp,
                               const Watcher& watch) {
  std::vector<Samples> out(contenders.size());
  const std::size_t k = contenders.size();
  for (int round = warmUp ? -1 : 0; round < reps; ++round) {
    for (std::size_t j = 0; j < k; ++j) {
      const Contender& c = contenders[(j + static_cast<std::size_t>(round < 0 ? 0 : round)) % k];
      if (c.prepare) c.prepare();
      const auto index = static_cast<std::size_t>(&c - contenders.data());
      if (watch) watch(index, false, round >= 0);
      const auto start = Clock::now();
      c.run();
      const double t = secondsSince(start);
      if (watch) watch(index, true, round >= 0);
      if (round >= 0) out[index].values.push_back(t);
      if (c.check) c.check();
    }
  }
  return out;
}

}  // namespace skorvatin::bench
