// RealFFT beside FFTW (r2c, planned once) and KissFFT (kiss_fftr, float) at the tuner's n = 8192, and the
// whole per-block analysis; then the ratios, and the estimate's error in cents for synthetic string tones.
// Targets: RealFFT no slower than KissFFT, within 3x of FFTW; WaveInData (plain analysis steps around the
// transform) within 8x of FFTW.

#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "SyntheticTones.h"
#include "U_FFT2.h"
#include "U_FFTTunerAnalysis.h"
#include "U_FFTTunerConfig.h"

namespace {

constexpr int N = 8192;

std::vector<double> RandomSamples() {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> dist(-128.0, 127.0);
    std::vector<double> x(N);
    for (double& v : x) v = dist(gen);
    return x;
}

using synthetic::Quantised;

void BM_RealFFT(benchmark::State& state) {
    const std::vector<double> x = RandomSamples();
    TNvector2 re(N), im(N + 1);
    uint8_t code = 0;
    for (auto _ : state) {
        // RealFFT works in place: the copy of the input is part of every call's cost.
        std::memcpy(re.data(), x.data(), N * sizeof(double));
        RealFFT(N, false, re, im, code);
        benchmark::DoNotOptimize(re.data());
        benchmark::DoNotOptimize(im.data());
    }
    if (code != 0) state.SkipWithError("RealFFT failed");
}

void BM_FFTW_r2c(benchmark::State& state) {
    const std::vector<double> x = RandomSamples();
    double* in = fftw_alloc_real(N);
    fftw_complex* out = fftw_alloc_complex(N / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(N, in, out, FFTW_MEASURE);
    std::copy(x.begin(), x.end(), in);
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
    }
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}

void BM_KissFFT_r(benchmark::State& state) {
    const std::vector<double> x = RandomSamples();
    kiss_fftr_cfg cfg = kiss_fftr_alloc(N, 0, nullptr, nullptr);
    std::vector<kiss_fft_scalar> in(x.begin(), x.end());
    std::vector<kiss_fft_cpx> out(N / 2 + 1);
    for (auto _ : state) {
        kiss_fftr(cfg, in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    kiss_fftr_free(cfg);
}

void BM_WaveInData(benchmark::State& state) {
    const std::vector<uint8_t> block = Quantised({{110.0, 40}, {220.0, 24}, {50.0, 10}});
    TTunerAnalysis analysis;
    for (auto _ : state) {
        analysis.WaveInData(block.data(), N);
        benchmark::DoNotOptimize(analysis.Frequency.load());
    }
}

BENCHMARK(BM_RealFFT)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FFTW_r2c)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KissFFT_r)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WaveInData)->Unit(benchmark::kMicrosecond);

// Prints as usual and keeps the fastest CPU time per benchmark (over repetitions), in microseconds. CPU time,
// not wall time: on a shared machine it leaves out the time the benchmark waited for a core.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> timesUs;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const double t = run.GetAdjustedCPUTime();
            auto [it, inserted] = timesUs.emplace(run.run_name.function_name, t);
            if (!inserted) it->second = std::min(it->second, t);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void PrintRatio(const std::map<std::string, double>& t, const char* num, const char* den, double target) {
    const auto a = t.find(num), b = t.find(den);
    if (a == t.end() || b == t.end()) return;
    const double ratio = a->second / b->second;
    std::printf("%-28s %6.2f   (target <= %.0f: %s)\n", (std::string(num + 3) + "/" + (den + 3)).c_str(), ratio,
                target, ratio <= target ? "met" : "NOT met");
}

void PrintCents() {
    std::printf("\nEstimate per string, 8-bit tones of amplitude 40 (harmonics 2..4 at 0.6/0.4/0.3, hum 50 Hz at 10)\n");
    std::printf("%-8s %-22s %10s %10s\n", "target", "signal", "estimate", "cents");
    const char* names[] = {"pure", "harmonics", "hum", "harmonics + hum"};
    for (double f : StringFrequencies) {
        for (int kind = 0; kind < 4; ++kind) {
            std::vector<std::pair<double, double>> tones = {{f, 40}};
            if (kind & 1) tones.insert(tones.end(), {{2 * f, 24}, {3 * f, 16}, {4 * f, 12}});
            if (kind & 2) tones.push_back({50.0, 10});
            const std::vector<uint8_t> block = Quantised(tones);
            TTunerAnalysis analysis;
            analysis.WaveInData(block.data(), N);
            const double est = analysis.Frequency.load();
            std::printf("%-8.2f %-22s %10.3f %+10.2f\n", f, names[kind], est, 1200 * std::log2(est / f));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios of CPU time (fastest of the repetitions; --benchmark_repetitions=N for more)\n");
    PrintRatio(reporter.timesUs, "BM_RealFFT", "BM_KissFFT_r", 1);
    PrintRatio(reporter.timesUs, "BM_RealFFT", "BM_FFTW_r2c", 3);
    PrintRatio(reporter.timesUs, "BM_WaveInData", "BM_FFTW_r2c", 8);
    PrintCents();
    benchmark::Shutdown();
    return 0;
}
