#ifndef BENCHRATIOS_H
#define BENCHRATIOS_H

// Runs a benchmark program and prints, after its table, the ratios between pairs of its figures:
// each figure of the library against its alternative, both measured in the same run. Ratios use
// wall-clock time per iteration; with --benchmark_repetitions, the medians (which the table then
// shows in place of the single runs).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace benchratios {

enum class Goal {
    None,
    AtLeast, // the ratio must be at least the limit
    AtMost   // the ratio must be at most the limit
};

// numerator / denominator, both named as the table names them without the time and iteration
// suffixes: "BM_Name", "BM_Name/arg", "BM_Name/threads:2".
struct Ratio
{
    std::string label;
    std::string numerator;
    std::string denominator;
    Goal goal = Goal::None;
    double limit = 0.0;
};

class Reporter : public benchmark::ConsoleReporter
{
public:
    explicit Reporter(std::vector<Ratio> ratios)
        : ConsoleReporter(OO_Tabular), m_ratios(std::move(ratios))
    {
    }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        // With repetitions, the table shows the median of each figure (the mean, deviation and
        // coefficient of variation remain in --benchmark_out files).
        std::vector<Run> shown;
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                shown.push_back(run);
        }
        ConsoleReporter::ReportRuns(shown.empty() ? runs : shown);

        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            const std::string name = key(run.run_name);
            const double ns = run.GetAdjustedRealTime()
                    / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median")
                    m_median[name] = ns;
            } else {
                m_single[name] = ns;
            }
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        if (m_ratios.empty())
            return;
        std::printf("\nRatios (wall time, same run)\n");
        for (const Ratio &ratio : m_ratios) {
            double numerator = 0.0;
            double denominator = 0.0;
            if (!find(ratio.numerator, &numerator) || !find(ratio.denominator, &denominator)
                || denominator <= 0.0)
                continue; // filtered out, or failed
            const double r = numerator / denominator;
            std::string goal;
            if (ratio.goal != Goal::None) {
                const bool met = ratio.goal == Goal::AtLeast ? r >= ratio.limit : r <= ratio.limit;
                char text[64];
                std::snprintf(text, sizeof text, "  goal %s %g: %s",
                              ratio.goal == Goal::AtLeast ? ">=" : "<=", ratio.limit,
                              met ? "met" : "MISSED");
                goal = text;
            }
            std::printf("  %-58s %9.2f%s\n", ratio.label.c_str(), r, goal.c_str());
        }
        std::fflush(stdout);
    }

private:
    static std::string key(const benchmark::BenchmarkName &name)
    {
        std::string k = name.function_name;
        if (!name.args.empty())
            k += '/' + name.args;
        if (!name.threads.empty())
            k += '/' + name.threads;
        return k;
    }

    bool find(const std::string &name, double *ns) const
    {
        auto it = m_median.find(name);
        if (it == m_median.end()) {
            it = m_single.find(name);
            if (it == m_single.end())
                return false;
        }
        *ns = it->second;
        return true;
    }

    std::vector<Ratio> m_ratios;
    std::map<std::string, double> m_single;
    std::map<std::string, double> m_median;
};

// The body of a benchmark program's main() after its own set-up.
inline int run(int argc, char **argv, std::vector<Ratio> ratios)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Reporter reporter(std::move(ratios));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace benchratios

#endif // BENCHRATIOS_H
