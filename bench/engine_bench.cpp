// Speed and memory of the study. Prints figures; asserts nothing. Each case runs in a
// child process so that its peak memory is its own.
//
//   engine-bench            every case
//   engine-bench --quick    the cases that take seconds, not minutes
//   engine-bench NAME...    the cases whose name holds one of the words
#include "channel_finder.h"
#include "coordinator.h"
#include "number_format.h"
#include "ordered_text.h"
#include "reference_study.h"
#include "study_engine.h"
#include "time_left.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace kim;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

double since(Clock::time_point a) {
    return seconds(a, Clock::now());
}

// Processor time of the process so far, its threads added up.
double processorSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long peakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

// Distinct frequencies on the 12.5 kHz raster, drawn from the given bands (MHz).
std::vector<std::string> raster(int n, std::vector<std::pair<double, double>> bands,
                                std::mt19937& rng) {
    std::set<std::string> seen;
    std::vector<std::string> out;
    while (static_cast<int>(out.size()) < n) {
        const auto& b = bands[rng() % bands.size()];
        const auto channels = static_cast<unsigned>((b.second - b.first) / 0.0125);
        std::string t = formatNumber(b.first + (rng() % channels) * 0.0125, pattern::ListText);
        if (seen.insert(t).second) out.push_back(t);
    }
    return out;
}

// Transmitters and receivers on the 12.5 kHz raster from 136 MHz up; a narrower band
// crowds the site and finds more products. The same sites as the earlier benchmark's.
StudyInput vhf(int T, int R, double bandMHz = 84) {
    std::mt19937 rng(static_cast<unsigned>(T * 1000 + R));
    std::uniform_int_distribution<int> channel(0, static_cast<int>(bandMHz / 0.0125) - 1);
    StudyInput in;
    in.separation = "25.0";
    auto fill = [&](std::vector<std::string>& list, int n) {
        std::set<std::string> seen;
        while (static_cast<int>(list.size()) < n) {
            std::string t = formatNumber(136 + channel(rng) * 0.0125, pattern::ListText);
            if (seen.insert(t).second) list.push_back(t);
        }
    };
    fill(in.transmit, T);
    fill(in.receive, R);
    return in;
}

// Transmitters and receivers spread over VHF high band and UHF.
StudyInput mixed(int T, int R) {
    std::mt19937 rng(static_cast<unsigned>(T * 7919 + R));
    const std::vector<std::pair<double, double>> bands = {{136, 174}, {406, 470}};
    StudyInput in;
    in.separation = "25.0";
    in.transmit = raster(T, bands, rng);
    in.receive = raster(R, bands, rng);
    return in;
}

StudyInput oneFrequency(int T) {
    StudyInput in;
    in.separation = "25.0";
    in.transmit.assign(static_cast<size_t>(T), "150.00000");
    in.receive = {"150.00000", "150.01250", "450.00000"};
    return in;
}

struct Timed {
    StudyResult result;
    double seconds;
};

Timed timedStudy(const StudyInput& in, unsigned threads) {
    RunOptions o;
    o.threads = threads;
    const auto a = Clock::now();
    StudyResult r = runStudy(in, o);
    return {std::move(r), since(a)};
}

// Formats every kept line in list order on every core (or the threads given), as
// intermod-study prints them; returns the bytes.
size_t formatLines(const StudyResult& r, unsigned threads = 0) {
    size_t bytes = 0;
    formatInOrder(
        r.lineCount(), threads,
        [&](size_t i, std::string& out) {
            r.appendLine(out, i);
            out += '\n';
        },
        [&](std::string_view block) {
            bytes += block.size();
            return true;
        });
    return bytes;
}

const char* orderName(OrderChoice o) {
    return o == OrderChoice::FirstToFifth ? "1st-5th"
                                          : (o == OrderChoice::FirstToThird ? "1st-3rd" : "1st");
}

void header(const char* title) {
    std::printf("\n%s\n", title);
}

// Single thread against every core, and the speed-up.
void threadsCase(const char* name, StudyInput in) {
    in.order = OrderChoice::FirstToFifth;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    Timed one = timedStudy(in, 1);
    const uint64_t oneProducts = one.result.products();
    const size_t oneLines = one.result.lineCount();
    one.result = StudyResult{};
    const Timed all = timedStudy(in, cores);
    std::printf(
        "%-34s T %3zu R %3zu  products %13llu  1 thread %8.2f s  %u threads %8.2f s  "
        "speed-up %4.2f  same %s  peak %ld MiB\n",
        name, in.transmit.size(), in.receive.size(), (unsigned long long)all.result.products(),
        one.seconds, cores, all.seconds, one.seconds / all.seconds,
        oneProducts == all.result.products() && oneLines == all.result.lineCount() ? "yes" : "NO",
        peakMiB());
}

// The study, then its lines formatted in list order.
void linesCase(const char* name, StudyInput in, OrderChoice order, bool withLoops) {
    in.order = order;
    const Timed t = timedStudy(in, 0);
    const auto a = Clock::now();
    const size_t bytes = formatLines(t.result);
    const double linesS = since(a);
    char loops[64] = "";
    if (withLoops) {
        const auto b = Clock::now();
        const ReferenceResult ref = runReferenceStudy(in);
        std::snprintf(loops, sizeof loops, "  loops %8.3f s%s", since(b),
                      ref.products == t.result.products() ? "" : " MISMATCH");
    }
    std::printf("%-34s %-7s T %3zu R %3zu  products %11llu  lines %8zu  study %7.3f s  "
                "lines %6.3f s  both %7.3f s  text %7.1f MB  peak %5ld MiB%s\n",
                name, orderName(order), in.transmit.size(), in.receive.size(),
                (unsigned long long)t.result.products(), t.result.lineCount(), t.seconds, linesS,
                t.seconds + linesS, double(bytes) / 1e6, peakMiB(), loops);
}

// The study and its lines on a given number of threads, however many cores there are.
void manyThreadsCase(const char* name, StudyInput in, unsigned threads) {
    in.order = OrderChoice::FirstToFifth;
    const Timed t = timedStudy(in, threads);
    const auto a = Clock::now();
    const size_t bytes = formatLines(t.result, threads);
    std::printf("%-34s T %3zu R %3zu  %4u threads  products %11llu  study %7.3f s  lines %6.3f s  "
                "text %7.1f MB  peak %5ld MiB\n",
                name, in.transmit.size(), in.receive.size(), threads,
                (unsigned long long)t.result.products(), t.seconds, since(a), double(bytes) / 1e6,
                peakMiB());
}

// The study plain, with its products counted by the order of their mix and its distinct
// mixes, and with the mixes listed too. The three take turns, five rounds, each run in a
// process of its own (for its peak memory), and each is timed at its best, in processor
// time: the machine's other work makes single runs, and the time on the clock, uneven.
void mixCase(const char* name, StudyInput in) {
    in.order = OrderChoice::FirstToFifth;
    struct Way {
        const char* what;
        bool mixes;
        uint64_t limit;
    };
    const Way ways[] = {
        {"plain", false, 0}, {"by order", true, 0}, {"and list", true, kDefaultMixLimit}};
    struct Run {
        double cpu = HUGE_VAL, clock = HUGE_VAL;
        long peak = 0;
        uint64_t products = 0, mixes = 0, listed = 0;
    };
    Run best[3];
    for (int round = 0; round < 5; ++round) {
        for (int w = 0; w < 3; ++w) {
            int pipeFd[2];
            if (pipe(pipeFd) != 0) return;
            std::fflush(stdout);
            if (fork() == 0) {
                close(pipeFd[0]);
                RunOptions o;
                o.mixes = ways[w].mixes;
                o.mixLimit = ways[w].limit;
                const double cpu = processorSeconds();
                const auto a = Clock::now();
                const StudyResult r = runStudy(in, o);
                Run run{processorSeconds() - cpu, since(a), peakMiB(), r.products(), r.mixCount(),
                        r.mixes().size()};
                [[maybe_unused]] const ssize_t n = write(pipeFd[1], &run, sizeof run);
                _exit(0);
            }
            close(pipeFd[1]);
            Run run;
            if (read(pipeFd[0], &run, sizeof run) == sizeof run) {
                Run& b = best[w];
                b.cpu = std::min(b.cpu, run.cpu);
                b.clock = std::min(b.clock, run.clock);
                b.peak = std::max(b.peak, run.peak);
                b.products = run.products;
                b.mixes = run.mixes;
                b.listed = run.listed;
            }
            close(pipeFd[0]);
            int status = 0;
            wait(&status);
        }
    }
    for (int w = 0; w < 3; ++w) {
        const Run& b = best[w];
        std::printf("%-28s T %3zu R %3zu  %-8s  products %11llu  cpu %7.3f s  clock %7.3f s",
                    name, in.transmit.size(), in.receive.size(), ways[w].what,
                    (unsigned long long)b.products, b.cpu, b.clock);
        if (ways[w].mixes)
            std::printf("  %+5.1f %%  mixes %11llu  listed %8llu", 100 * (b.cpu / best[0].cpu - 1),
                        (unsigned long long)b.mixes, (unsigned long long)b.listed);
        std::printf("  peak %5ld MiB\n", b.peak);
    }
}

// How long a stop takes to end a running study.
void stopCase(const char* name, StudyInput in, double after) {
    in.order = OrderChoice::FirstToFifth;
    std::stop_source stop;
    RunOptions o;
    o.stop = stop.get_token();
    Clock::time_point asked;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(std::chrono::duration<double>(after));
        asked = Clock::now();
        stop.request_stop();
    });
    const StudyResult r = runStudy(in, o);
    const double latency = since(asked);
    stopper.join();
    std::printf("%-34s stop asked after %.1f s: %s %.3f s later\n", name, after,
                r.cancelled() ? "returned" : "NOT STOPPED, returned", latency);
}

// The clean channels of a band for a site's transmitters, on one thread and on every
// core.
void finderCase(const char* name, int T, std::pair<double, double> site, OrderChoice order,
                double from, double to, double rasterKHz) {
    std::mt19937 rng(static_cast<unsigned>(T * 31 + 7));
    ChannelSearch s;
    s.transmit = raster(T, {site}, rng);
    s.separation = "25.0";
    s.order = order;
    s.fromMHz = from;
    s.toMHz = to;
    s.rasterKHz = rasterKHz;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    double secs[2] = {0, 0};
    ChannelResult r[2];
    for (int i = 0; i < 2; ++i) {
        RunOptions o;
        o.threads = i == 0 ? 1 : cores;
        const auto a = Clock::now();
        r[i] = findChannels(s, o);
        secs[i] = since(a);
    }
    bool same = r[0].clean == r[1].clean && r[0].channels.size() == r[1].channels.size();
    for (size_t k = 0; same && k < r[0].channels.size(); ++k)
        same = r[0].channels[k].products == r[1].channels[k].products &&
               r[0].channels[k].nearestLine == r[1].channels[k].nearestLine;
    std::printf("%-34s %-7s T %3d  channels %7zu  clean %7llu  1 thread %7.3f s  %u threads "
                "%7.3f s  same %s  peak %ld MiB\n",
                name, orderName(order), T, r[1].channels.size(), (unsigned long long)r[1].clean,
                secs[0], cores, secs[1], same ? "yes" : "NO", peakMiB());
}

// Runs fn in a child process and returns the figures it gives: each row's peak memory is
// its own.
std::array<double, 3> inChild(const std::function<std::array<double, 3>()>& fn) {
    std::array<double, 3> out{};
    int fd[2];
    if (pipe(fd) != 0) return out;
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fd[0]);
        out = fn();
        (void)!write(fd[1], out.data(), sizeof out);
        _exit(0);
    }
    close(fd[1]);
    (void)!read(fd[0], out.data(), sizeof out);
    close(fd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return out;
}

// How time and memory grow with the transmitters: 100 receivers on the mixed VHF/UHF
// site, every core, the default memory and line limit; the growth is the time's from the
// row before, as a power of the transmitters.
void scaleCase(OrderChoice order) {
    double lastT = 0, lastS = 0;
    for (int t : {50, 100, 200, 300, 400, 600}) {
        StudyInput in = mixed(t, 100);
        in.order = order;
        const auto [secs, peak, products] = inChild([&] {
            const Timed r = timedStudy(in, 0);
            return std::array<double, 3>{r.seconds, static_cast<double>(peakMiB()),
                                         static_cast<double>(r.result.products())};
        });
        char growth[32] = "";
        if (lastS > 0 && secs > 0)
            std::snprintf(growth, sizeof growth, "T^%.2f",
                          std::log(secs / lastS) / std::log(t / lastT));
        std::printf("%-7s T %3d R 100  study %8.2f s  peak %5.0f MiB  products %16.0f  growth %s\n",
                    orderName(order), t, secs, peak, products, growth);
        std::fflush(stdout);
        lastT = t;
        lastS = secs;
    }
}

// Third-order-free sets on a 25 kHz raster with no site and a 1 kHz separation: with
// the separation below half a step, a set free of A+B-C and 2A-B on a member is a ruler
// whose differences all differ. The largest known rulers are printed beside the count
// found only to compare; the search knows nothing of them.
void rulerCase(int steps, int bestKnown, double seconds) {
    CoordinationRequest r;
    r.separation = "1.0";
    r.order = OrderChoice::FirstToThird;
    r.bands = {{450.0, 450.0 + steps * 0.025}};
    r.rasterKHz = 25;
    r.wanted = 40;
    r.timeLimitSeconds = seconds;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const CoordinationResult res = Coordinate(r, RunOptions{});
    std::printf("%4d steps  found %3zu  best known %3d  %5.1f %%  proven %-3s  reached in %7.2f s  "
                "search %7.2f s  %u threads  peak %ld MiB\n",
                steps, res.channels.size(), bestKnown, 100.0 * res.channels.size() / bestKnown,
                res.provenBest ? "yes" : "no", res.bestSeconds, res.seconds, cores, peakMiB());
    std::fflush(stdout);
}

// Wireless microphones for an event: 470-608 MHz on a 25 kHz raster but two television
// channels, beside a site of three transmitters and a receiver, 100 kHz apart, 1st to 3rd.
void eventCase(double seconds) {
    CoordinationRequest r;
    r.transmit = {"479.25000", "533.25000", "587.25000"};
    r.receive = {"520.50000"};
    r.separation = "100.0";
    r.order = OrderChoice::FirstToThird;
    r.bands = {{470, 608}};
    r.rasterKHz = 25;
    r.exclusions = {{512, 518}, {548, 554}};
    r.wanted = 500;
    r.timeLimitSeconds = seconds;
    const CoordinationResult res = Coordinate(r, RunOptions{});
    std::printf("470-608 MHz, 2 exclusions  channels %llu  clean alone %llu  microphones %3zu  "
                "proven %-3s  reached in %7.2f s  search %7.2f s  peak %ld MiB\n",
                (unsigned long long)res.candidates, (unsigned long long)res.cleanAlone,
                res.channels.size(), res.provenBest ? "yes" : "no", res.bestSeconds, res.seconds,
                peakMiB());
}

// The transmit and pair finders over 136-174 MHz for a 40-transmitter site with four
// receivers, on one thread and on every core.
void roleFinderCase(ChannelRole role, OrderChoice order) {
    std::mt19937 rng(40 * 31 + 7);
    ChannelSearch s;
    s.transmit = raster(40, {{136, 174}}, rng);
    s.receive = raster(4, {{136, 174}}, rng);
    s.separation = "25.0";
    s.order = order;
    s.fromMHz = 136;
    s.toMHz = 174;
    s.rasterKHz = 12.5;
    s.role = role;
    s.offsetMHz = role == ChannelRole::Pair ? 0.6 : 0;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    double secs[2] = {0, 0};
    ChannelResult res[2];
    for (int i = 0; i < 2; ++i) {
        RunOptions o;
        o.threads = i == 0 ? 1 : cores;
        const auto a = Clock::now();
        res[i] = findChannels(s, o);
        secs[i] = since(a);
    }
    bool same = res[0].clean == res[1].clean;
    for (size_t k = 0; same && k < res[0].channels.size(); ++k)
        same = res[0].channels[k].products == res[1].channels[k].products &&
               res[0].channels[k].nearestLine == res[1].channels[k].nearestLine;
    std::printf("%-8s %-7s T 40 R 4  channels %5zu  clean %5llu  1 thread %6.2f s  %u threads "
                "%6.2f s  same %s  peak %ld MiB%s\n",
                role == ChannelRole::Pair ? "pair" : "transmit", orderName(order),
                res[1].channels.size(), (unsigned long long)res[1].clean, secs[0], cores, secs[1],
                same ? "yes" : "NO", peakMiB(), res[1].error.empty() ? "" : res[1].error.c_str());
}

// The process's processor time: unlike the clock on the wall, it does not run on while
// other programs have the cores.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// How near the time left as shown comes to the truth: the estimate the window and
// intermod-study show, fed the study's progress, and each figure read back as the whole
// time it foretells against the study's real time. Once on the clock on the wall, as
// shown, and once on processor time, which other programs on the machine do not disturb.
void estimateCase(const char* name, StudyInput in, OrderChoice order) {
    in.order = order;
    struct Told {
        double share, total;
    };
    std::vector<Told> told[2];
    TimeLeftEstimate estimate[2];
    double planned = 0;
    RunOptions o;
    o.expected = [&](double s) { planned = s; };
    const auto a = Clock::now();
    const double cpu = cpuSeconds();
    o.progress = [&](double share) {
        const double at[2] = {since(a), cpuSeconds() - cpu};
        for (int c = 0; c < 2; ++c)
            if (const std::optional<double> left = estimate[c].update(at[c], share))
                told[c].push_back({share, at[c] + *left});
    };
    const StudyResult r = runStudy(in, o);
    const double total[2] = {since(a), cpuSeconds() - cpu};
    std::printf("%-18s %-7s T %4zu R %4zu  products %14llu  planned %6.2f s\n", name,
                orderName(order), in.transmit.size(), in.receive.size(),
                (unsigned long long)r.products(), planned);
    for (int c = 0; c < 2; ++c) {
        auto error = [&](const Told& t) { return 100 * (t.total - total[c]) / total[c]; };
        std::printf("  %-10s took %6.2f s  foretold", c == 0 ? "wall clock" : "processor",
                    total[c]);
        for (double share : {0.10, 0.25, 0.50}) {
            const auto t = std::find_if(told[c].begin(), told[c].end(),
                                        [share](const Told& x) { return x.share >= share; });
            if (t == told[c].end())
                std::printf("  at %2.0f%%: %13s", share * 100, "-");
            else
                std::printf("  at %2.0f%%: %6.2f s %+4.0f%%", share * 100, t->total, error(*t));
        }
        // The worst of every figure once a tenth of the work is done.
        double worst = 0;
        for (const Told& t : told[c])
            if (t.share >= 0.1 && std::fabs(error(t)) > std::fabs(worst)) worst = error(t);
        std::printf("  worst past a tenth %+4.0f%%\n", worst);
    }
    std::fflush(stdout);
}

struct Case {
    const char* name;
    bool quick;
    std::function<void()> run;
};

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    std::vector<std::string> words;
    for (int i = quick ? 2 : 1; i < argc; ++i)
        words.emplace_back(argv[i]);
    const std::vector<Case> cases = {
        {"loops: 10/41/60 on VHF, 1st-3rd", true,
         [] {
             header("Against the plain nested loops (84 MHz of VHF from 136 MHz)");
             for (auto [t, r] : {std::pair{10, 10}, {41, 4}, {60, 20}})
                 linesCase("vhf", vhf(t, r), OrderChoice::FirstToThird, true);
             for (auto [t, r] : {std::pair{10, 10}, {41, 4}})
                 linesCase("vhf", vhf(t, r), OrderChoice::FirstToFifth, true);
         }},
        {"sixty: (60, 20) 1st-5th", true,
         [] {
             header("(60, 20) 1st to 5th");
             linesCase("vhf 84 MHz", vhf(60, 20), OrderChoice::FirstToFifth, false);
             linesCase("vhf 24 MHz (more products than lines)", vhf(60, 20, 24),
                       OrderChoice::FirstToFifth, false);
         }},
        {"hundred: (100, 50) 1st-5th", true,
         [] {
             header("(100, 50) 1st to 5th");
             linesCase("vhf 84 MHz", vhf(100, 50), OrderChoice::FirstToFifth, false);
         }},
        {"equal: 200 on one frequency", true,
         [] {
             header("Transmitters on one frequency, 1st to 5th");
             linesCase("200 on 150 MHz", oneFrequency(200), OrderChoice::FirstToFifth, false);
             linesCase("32767 on 150 MHz", oneFrequency(32767), OrderChoice::FirstToThird, false);
         }},
        {"mixed: (200, 100) 1st-5th, threads", false,
         [] {
             header("Mixed VHF/UHF spread, 1st to 5th: one thread against every core");
             threadsCase("vhf 136-174 + uhf 406-470", mixed(200, 100));
         }},
        {"finder: clean channels of a band", true,
         [] {
             header("Clean-channel finder over 136-174 MHz, 25 kHz separation");
             const OrderChoice fifth = OrderChoice::FirstToFifth;
             finderCase("40 on 136-174, 12.5 kHz raster", 40, {136, 174}, fifth, 136, 174, 12.5);
             finderCase("40 on 136-174, 12.5 kHz raster", 40, {136, 174}, OrderChoice::FirstToThird,
                        136, 174, 12.5);
             finderCase("40 on 150-152, 12.5 kHz raster", 40, {150, 152}, fifth, 136, 174, 12.5);
             finderCase("40 on 136-174, 6.25 kHz raster", 40, {136, 174}, fifth, 136, 174, 6.25);
         }},
        {"coordinate-finders: transmit and pair channels of 136-174 MHz", true,
         [] {
             header("Transmit and pair finders over 136-174 MHz (3,041 channels), 25 kHz "
                    "separation, pairs 600 kHz apart");
             for (OrderChoice order : {OrderChoice::FirstToThird, OrderChoice::FirstToFifth})
                 for (ChannelRole role : {ChannelRole::Transmit, ChannelRole::Pair})
                     roleFinderCase(role, order);
         }},
        {"coordinate-rulers: third-order-free sets against the best known rulers", false,
         [] {
             header("Third-order-free sets, 25 kHz raster, no site, 1 kHz separation, 60 s each");
             const std::pair<int, int> rows[] = {{34, 8}, {55, 10}, {85, 12}, {127, 14}, {177, 16}};
             for (auto [steps, best] : rows)
                 rulerCase(steps, best, 60);
         }},
        {"coordinate-event: microphones on UHF beside a site", false,
         [] {
             header("Microphones for an event, 1st to 3rd, 100 kHz separation, 60 s");
             eventCase(60);
         }},
        {"finder-long: 30,401 channels for 60 transmitters", false,
         [] {
             header("Clean-channel finder, many channels for many transmitters");
             finderCase("60 on 136-174, 1.25 kHz raster", 60, {136, 174}, OrderChoice::FirstToFifth,
                        136, 174, 1.25);
         }},
        {"scale: 50 to 600 transmitters, 100 receivers", false,
         [] {
             header("Growth with the transmitters (mixed VHF/UHF, 100 receivers)");
             scaleCase(OrderChoice::FirstToThird);
             scaleCase(OrderChoice::FirstToFifth);
         }},
        {"estimate: the time left against the truth", false,
         [] {
             header("The time left as shown, read as the whole time it foretells, once a "
                    "tenth, a quarter and half of the work are done; every core");
             const OrderChoice fifth = OrderChoice::FirstToFifth;
             for (int t : {200, 400, 600})
                 estimateCase("mixed VHF/UHF", mixed(t, 100), fifth);
             estimateCase("mixed VHF/UHF", mixed(4000, 1500), OrderChoice::FirstToThird);
             StudyInput far = mixed(200, 100);
             far.transmit.front() = std::string(308, '9');
             estimateCase("one of 308 digits", far, fifth);
         }},
        {"far: one transmitter of 308 digits", true,
         [] {
             header("(60, 30) 1st to 5th, one transmitter far beyond any frequency");
             StudyInput in = vhf(60, 30);
             linesCase("every transmitter on VHF", in, OrderChoice::FirstToFifth, false);
             in.transmit.back() = std::string(308, '9');
             linesCase("one of 308 digits", in, OrderChoice::FirstToFifth, false);
             in.transmit.back() = "123,456,789,012.34567";
             linesCase("one of 123,456,789,012 MHz", in, OrderChoice::FirstToFifth, false);
         }},
        {"mixes: by order and distinct mixes against the plain study", false,
         [] {
             header("1st to 5th: the plain study, with its products by the order of their mix "
                    "and its distinct mixes, and with the mixes listed");
             mixCase("vhf 84 MHz", vhf(60, 20));
             mixCase("vhf 84 MHz", vhf(100, 50));
             mixCase("vhf 136-174 + uhf 406-470", mixed(200, 100));
         }},
        {"threads: far more threads than cores", true,
         [] {
             header("(60, 30) 1st to 5th on more threads than cores (each run its own process)");
             for (unsigned threads : {2u, 128u, 1024u}) {
                 std::fflush(stdout);
                 if (fork() == 0) {
                     manyThreadsCase("vhf 84 MHz", vhf(60, 30), threads);
                     std::fflush(stdout);
                     _exit(0);
                 }
                 int status = 0;
                 wait(&status);
             }
         }},
        {"stop: a running study stopped", true,
         [] {
             header("Stop");
             stopCase("mixed (200, 100)", mixed(200, 100), 1.0);
         }},
    };
    for (const Case& c : cases) {
        if (quick && !c.quick) continue;
        bool wanted = words.empty();
        for (const auto& w : words)
            wanted |= std::strstr(c.name, w.c_str()) != nullptr;
        if (!wanted) continue;
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            c.run();
            std::fflush(stdout);
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
    std::printf(
        "\nseparation 25 kHz, 12.5 kHz raster; study and lines on every core; lines: the kept "
        "lines (at most %llu) formatted in list order; peak: resident memory of the case\n",
        (unsigned long long)kDefaultLineLimit);
    return 0;
}
