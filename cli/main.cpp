// intermod-study: runs the study of a ".int" file from a script and prints its lines, its
// per-receiver summary, or the clean channels of a band.
#include "arguments.h"
#include "channel_finder.h"
#include "coordinator.h"
#include "descriptor_output.h"
#include "ordered_text.h"
#include "result_export.h"
#include "study_engine.h"
#include "study_file.h"
#include "time_left.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using cli::kExitFailed;
using cli::Options;

// Standard output through write(2), in blocks of whole lines: a failure is known at
// once, and a run stopped between blocks leaves no half line.
class Output : public DescriptorOutput {
  public:
    Output() : DescriptorOutput(STDOUT_FILENO) {}
};

// Ctrl+C, and SIGTERM as timeout and service managers send it: both are blocked in every
// thread and waited for by one of its own, which asks the study and the output to stop;
// a second signal ends the program at once.
class Interrupt {
  public:
    Interrupt() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, nullptr); // before any other thread starts
        watcher_ = std::thread([this] { watch(); });
    }
    ~Interrupt() {
        done_ = true;
        pthread_kill(watcher_.native_handle(), SIGINT);
        watcher_.join();
    }
    std::stop_token token() const { return source_.get_token(); }
    bool happened() const { return source_.stop_requested(); }
    // The exit status of a program ended by the signal: 130 for SIGINT, 143 for SIGTERM.
    int status() const { return 128 + signal_; }

  private:
    void watch() {
        for (;;) {
            int signal = 0;
            if (sigwait(&set_, &signal) != 0) continue;
            if (done_) return;
            if (source_.stop_requested()) _exit(128 + signal);
            signal_ = signal;
            source_.request_stop();
        }
    }

    sigset_t set_;
    std::atomic<bool> done_{false};
    std::atomic<int> signal_{SIGINT};
    std::stop_source source_;
    std::thread watcher_;
};

// The share done and the time left, on one line of standard error rewritten in place:
// only on a terminal, once kShowProgressAfter has passed, five times a second at most.
// The time left is the window's estimate. A study planned to take more than a minute
// says so at once, until its pace gives the time left.
class ProgressLine {
  public:
    explicit ProgressLine(bool shown) : shown_(shown) {}

    // The seconds the study is planned to take; told before any progress.
    void expect(double seconds) {
        if (!shown_ || !(seconds > 60)) return;
        expected_ = seconds;
        draw(0, Clock::now());
    }

    // Called from the study's threads, one call at a time.
    void update(double share) {
        if (!shown_) return;
        const auto now = Clock::now();
        left_ = timeLeft_.update(seconds(start_, now), share);
        if (now - start_ < kim::kShowProgressAfter || (drawn_ && seconds(last_, now) < 0.2)) return;
        draw(share, now);
    }

    void clear() {
        if (!drawn_) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }

  private:
    using Clock = std::chrono::steady_clock;
    static double seconds(Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double>(b - a).count();
    }

    void draw(double share, Clock::time_point now) {
        last_ = now;
        drawn_ = true;
        char text[96];
        if (left_) {
            const double left = *left_;
            std::snprintf(text, sizeof text,
                          "\rintermod-study: %2.0f%% done, about %.0f %s left\033[K", share * 100,
                          left < 90 ? std::max(1.0, left) : left / 60, left < 90 ? "s" : "min");
        } else if (expected_ > 0) {
            std::snprintf(text, sizeof text,
                          "\rintermod-study: %2.0f%% done, about %.0f min of work\033[K",
                          share * 100, expected_ / 60);
        } else {
            std::snprintf(text, sizeof text, "\rintermod-study: %2.0f%% done\033[K", share * 100);
        }
        std::fputs(text, stderr);
        std::fflush(stderr);
    }

    bool shown_;
    bool drawn_ = false;
    double expected_ = 0;
    kim::TimeLeftEstimate timeLeft_;
    std::optional<double> left_;
    Clock::time_point start_ = Clock::now(), last_;
};

// The threads, the stop and the progress of a run, as every kind of run takes them.
kim::RunOptions runOptions(const Options& o, const Interrupt& interrupt, ProgressLine& progress) {
    kim::RunOptions run;
    run.threads = o.threads;
    run.stop = interrupt.token();
    run.progress = [&progress](double share) { progress.update(share); };
    return run;
}

kim::ExportFormat exportFormat(const Options& o) {
    return o.format == "csv"    ? kim::ExportFormat::Csv
           : o.format == "json" ? kim::ExportFormat::Json
                                : kim::ExportFormat::Text;
}

// Writes the result in the chosen format; false when the output failed or was stopped.
bool writeResult(const kim::StudyResult& res, const Options& o, Output& out,
                 const Interrupt& interrupt) {
    auto write = [&](std::string_view block) { return !interrupt.happened() && out.write(block); };
    if (o.format == "summary") return kim::exportSummary(res, write);
    if (o.format == "mixes") return kim::exportMixes(res, write);
    return kim::exportResult(res, exportFormat(o), o.threads, write, o.mixes);
}

// Why the output is not whole, as an exit status with its reason on standard error:
// a Ctrl+C or SIGTERM, or a write that failed. Nothing when it is whole.
std::optional<int> outputFailure(bool written, const Output& out, const Interrupt& interrupt) {
    if (interrupt.happened()) {
        std::fputs("intermod-study: stopped\n", stderr);
        return interrupt.status();
    }
    if (!written) {
        std::fprintf(stderr, "intermod-study: the output could not be written: %s\n",
                     std::strerror(out.error()));
        return kExitFailed;
    }
    return std::nullopt;
}

// The clean channels of a band for the study's transmitters.
int findChannels(const kim::Study& study, const Options& o, const Interrupt& interrupt) {
    kim::ChannelSearch search;
    search.transmit = study.transmit;
    search.receive = study.receive;
    search.separation = study.separation;
    search.order = study.order;
    search.fromMHz = o.fromMHz;
    search.toMHz = o.toMHz;
    search.rasterKHz = *o.rasterKHz;
    search.keepFromStudy = o.keepFromStudy;
    search.role = o.role;
    search.offsetMHz = o.offsetMHz.value_or(0);
    ProgressLine progress(!o.quiet && isatty(STDERR_FILENO));
    kim::RunOptions run = runOptions(o, interrupt, progress);
    const kim::ChannelResult res = kim::findChannels(search, run);
    progress.clear();
    if (!res.error.empty()) {
        std::fprintf(stderr, "intermod-study: %s: %s\n", o.file.c_str(), res.error.c_str());
        return kExitFailed;
    }
    Output out;
    const bool written =
        !res.cancelled && kim::exportChannels(res, exportFormat(o), [&](std::string_view block) {
            return !interrupt.happened() && out.write(block);
        });
    if (const auto failed = outputFailure(written, out, interrupt)) return *failed;
    if (o.format == "text" && !o.quiet) {
        std::fprintf(stderr, "%llu of %llu channels clean\n",
                     static_cast<unsigned long long>(res.clean),
                     static_cast<unsigned long long>(res.channels.size()));
        if (study.transmit.empty())
            std::fputs("The transmit list is empty: no product lands anywhere.\n", stderr);
    }
    return 0;
}

// A set of channels that stay clean together with the study's site.
int coordinate(const kim::Study& study, const Options& o, const Interrupt& interrupt) {
    kim::CoordinationRequest r = cli::coordinationOf(o);
    r.transmit = study.transmit;
    r.receive = study.receive;
    r.separation = study.separation;
    ProgressLine progress(!o.quiet && isatty(STDERR_FILENO));
    kim::RunOptions run = runOptions(o, interrupt, progress);
    const kim::CoordinationResult res = kim::Coordinate(r, run);
    progress.clear();
    if (!res.error.empty()) {
        std::fprintf(stderr, "intermod-study: %s: %s\n", o.file.c_str(), res.error.c_str());
        return kExitFailed;
    }
    Output out;
    const bool written =
        !res.cancelled && kim::exportCoordination(res, o.format == "json", [&](std::string_view b) {
            return !interrupt.happened() && out.write(b);
        });
    if (const auto failed = outputFailure(written, out, interrupt)) return *failed;
    if (o.format == "text" && !o.quiet)
        std::fprintf(stderr, "%zu of %zu channels in %.1f s, %s\n", res.channels.size(),
                     res.requested, res.seconds,
                     res.channels.size() >= res.requested ? "all that were asked for"
                     : res.provenBest                     ? "the most there are"
                                                          : "the most found within the time limit");
    return 0;
}

int study(const Options& o, const Interrupt& interrupt) {
    kim::StudyReadResult read = kim::readStudyFile(o.file);
    if (!read.ok) {
        std::fprintf(stderr, "intermod-study: %s: %s\n", o.file.c_str(), read.error.c_str());
        return kExitFailed;
    }
    kim::Study study = read.study;
    study.order = o.order;
    if (o.separation) study.separation = *o.separation;
    if (o.findChannels) return findChannels(study, o, interrupt);
    if (o.coordinate) return coordinate(study, o, interrupt);

    ProgressLine progress(!o.quiet && isatty(STDERR_FILENO));
    kim::RunOptions run = runOptions(o, interrupt, progress);
    // On a terminal the progress line says it; elsewhere a line of its own, for the log.
    run.expected = [&](double s) {
        if (o.quiet || !(s > 60)) return;
        if (isatty(STDERR_FILENO))
            progress.expect(s);
        else
            std::fprintf(stderr, "intermod-study: about %.0f min of work\n", s / 60);
    };
    // The summary and the mixes print no line: they keep none (the nearest products and
    // the mixes need none).
    if (o.format == "summary" || o.format == "mixes") run.lineLimit = 0;
    // The mixes are listed only where they are printed.
    if (o.format != "mixes" && !o.mixes) run.mixLimit = 0;
    const kim::StudyResult res = kim::runStudy(study.input(), run);
    progress.clear();
    if (!res.error().empty()) {
        std::fprintf(stderr, "intermod-study: %s: %s\n", o.file.c_str(), res.error().c_str());
        return kExitFailed;
    }
    Output out;
    const bool written = !res.cancelled() && writeResult(res, o, out, interrupt);
    if (const auto failed = outputFailure(written, out, interrupt)) return *failed;
    if ((o.format == "text" || o.format == "summary" || o.format == "mixes") && !o.quiet) {
        if (!res.ran()) {
            std::fprintf(stderr, "The study did not run: the %s list is empty.\n",
                         study.transmit.empty() ? "transmit" : "receive");
        } else {
            std::fprintf(stderr, "%llu calculations, %llu interfering products",
                         static_cast<unsigned long long>(res.calculations()),
                         static_cast<unsigned long long>(res.products()));
            if (!res.complete() && o.format == "text")
                std::fprintf(stderr, " (the list holds the first %llu)",
                             static_cast<unsigned long long>(res.lineCount()));
            if (o.format == "mixes")
                std::fprintf(stderr, ", %llu distinct mixes",
                             static_cast<unsigned long long>(res.mixCount()));
            std::fputs("\n", stderr);
        }
    }
    return 0;
}

} // namespace

// Whatever fails while the file is read, the study runs or its lines are written (memory
// above all) ends the program with a message and status 1, never an abort.
int main(int argc, char** argv) {
    Options o;
    try {
        Interrupt interrupt; // first: every later thread inherits the blocked SIGINT
        if (const auto status = cli::parseArguments(argc, argv, o)) return *status;
        return study(o, interrupt);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "intermod-study: %s: there is not enough memory for this study\n",
                     o.file.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "intermod-study: %s: %s\n", o.file.c_str(), e.what());
    }
    return kExitFailed;
}
