#pragma once
// What every benchmark of ours shares: a console reporter that also keeps each benchmark's time
// per iteration and its counters (the median when repetitions are asked for, else the single
// run), so that main can print ratios against a baseline measured in the same run; and a runner
// that interleaves the repetitions, which exposes both sides of each ratio to the same load on a
// shared machine.

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.error_occurred || !(median || run.run_type == Run::RT_Iteration)) continue;
      // "Name", or "Name/argument" for benchmarks run with arguments.
      const std::string name = run.run_name.function_name +
                               (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
      if (median || medians_.count(name) == 0) {
        times_[name] = run.GetAdjustedRealTime();
        for (const auto& [key, counter] : run.counters) counters_[name + ":" + key] = counter.value;
        if (median) medians_[name] = true;
      }
    }
  }

  // In the benchmark's own time unit; NaN when it did not run.
  double time(const std::string& name) const {
    auto found = times_.find(name);
    return found == times_.end() ? std::nan("") : found->second;
  }

  // A counter the benchmark set (state.counters[key]); NaN when there is none.
  double counter(const std::string& name, const std::string& key) const {
    auto found = counters_.find(name + ":" + key);
    return found == counters_.end() ? std::nan("") : found->second;
  }

 private:
  std::map<std::string, double> times_;
  std::map<std::string, double> counters_;  // "name:key"
  std::map<std::string, bool> medians_;
};

// Runs the registered benchmarks with interleaved repetitions; false for unknown arguments.
inline bool runInterleaved(int argc, char** argv, RatioReporter& reporter) {
  std::vector<char*> arguments(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  arguments.insert(arguments.begin() + 1, interleave);
  argc = static_cast<int>(arguments.size());
  benchmark::Initialize(&argc, arguments.data());
  if (benchmark::ReportUnrecognizedArguments(argc, arguments.data())) return false;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return true;
}

}  // namespace bench
