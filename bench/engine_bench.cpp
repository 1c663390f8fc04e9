// Speed and memory of the study: the fast study against the straightforward loops.
// Prints figures; asserts nothing. Each case runs in a child process so that its peak
// memory is its own.
#include "number_format.h"
#include "study_engine.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

using namespace kim;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Transmitters and receivers on the 12.5 kHz raster from 136 MHz up; a narrower band
// crowds the site and finds more products.
StudyInput makeStudy(int T, int R, OrderChoice order, double bandMHz = 84) {
    std::mt19937 rng(static_cast<unsigned>(T * 1000 + R));
    std::uniform_int_distribution<int> channel(0, static_cast<int>(bandMHz / 0.0125) - 1);
    StudyInput in;
    in.order = order;
    in.separation = "25.0";
    auto fill = [&](std::vector<std::string>& list, int n) {
        while (static_cast<int>(list.size()) < n) {
            std::string t = formatNumber(136 + channel(rng) * 0.0125, pattern::ListText);
            bool dup = false;
            for (const auto& x : list)
                dup |= x == t;
            if (!dup) list.push_back(t);
        }
    };
    fill(in.transmit, T);
    fill(in.receive, R);
    return in;
}

double referenceTests(int T, int R, OrderChoice order) {
    const double t = T, r = R;
    return order == OrderChoice::FirstToFifth ? 5 * std::pow(t, 5) * r + 4 * std::pow(t, 4) * r
                                              : 3 * t * t * t * r + 2 * t * t * r;
}

long peakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Nanoseconds per product test of the loops on this machine, from a small study.
double loopNsPerTest() {
    const StudyInput in = makeStudy(12, 10, OrderChoice::FirstToFifth);
    auto a = Clock::now();
    StudyResult r = runReferenceStudy(in);
    auto b = Clock::now();
    return seconds(a, b) * 1e9 / double(r.calculations());
}

void runCase(int T, int R, OrderChoice order, double nsPerTest, double band) {
    const StudyInput in = makeStudy(T, R, order, band);
    auto a = Clock::now();
    StudyResult fast = runStudy(in);
    auto b = Clock::now();
    size_t bytes = 0;
    std::string line;
    for (size_t i = 0; i < fast.lineCount(); ++i) {
        line.clear();
        fast.appendLine(line, i);
        bytes += line.size() + 1;
    }
    auto c = Clock::now();
    const double fastS = seconds(a, b), linesS = seconds(b, c);
    const double estimate = referenceTests(T, R, order) * nsPerTest * 1e-9;
    double refS = estimate;
    bool measured = false;
    if (estimate < 60) {
        auto d = Clock::now();
        StudyResult ref = runReferenceStudy(in);
        auto e = Clock::now();
        refS = seconds(d, e);
        measured = true;
        if (ref.products() != fast.products())
            std::printf("  MISMATCH: loops found %llu\n", (unsigned long long)ref.products());
    }
    char refText[64];
    std::snprintf(refText, sizeof refText, measured ? "%10.3f s" : "~%9.0f s (estimated, skipped)",
                  refS);
    std::printf("%-8s %4.0f %3d %3d %10llu %10llu %10.3f s %s %9.0fx %8.3f s %8.1f MB %7ld MB\n",
                order == OrderChoice::FirstToFifth ? "1st-5th" : "1st-3rd", band, T, R,
                (unsigned long long)fast.products(), (unsigned long long)fast.lineCount(), fastS,
                refText, refS / (fastS + linesS), linesS, double(bytes) / 1e6, peakKiB() / 1024);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const double ns = loopNsPerTest();
    std::printf("loops: %.2f ns per product test on this machine\n", ns);
    std::printf("%-8s %4s %3s %3s %10s %10s %12s %14s %10s %10s %11s %10s\n", "order", "band", "T",
                "R", "products", "lines", "fast study", "loops", "ratio", "lines", "line text",
                "peak RSS");
    // The last case crowds 60 transmitters into 24 MHz: more products than lines kept.
    const int cases[][3] = {{10, 10, 84}, {41, 4, 84}, {60, 20, 84}, {60, 20, 24}};
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    for (OrderChoice order : {OrderChoice::FirstToThird, OrderChoice::FirstToFifth}) {
        for (const auto& c : cases) {
            if (quick && c[0] == 60 && order == OrderChoice::FirstToFifth) continue;
            if (c[2] != 84 && order != OrderChoice::FirstToFifth) continue;
            std::fflush(stdout);
            const pid_t pid = fork();
            if (pid == 0) {
                runCase(c[0], c[1], order, ns, c[2]);
                _exit(0);
            }
            int status = 0;
            waitpid(pid, &status, 0);
        }
    }
    std::printf("band: MHz from 136 on the 12.5 kHz raster; separation 25 kHz\n"
                "lines: lines kept (at most %llu); lines (time): formatting them in order\n"
                "ratio: loops' computation time / (fast study + its ordered lines)\n",
                (unsigned long long)kDefaultLineLimit);
    return 0;
}
