// intermod-study: runs the study of a ".int" file from a script and prints its lines, its
// per-receiver summary, or the clean channels of a band.
#include "channel_finder.h"
#include "descriptor_output.h"
#include "number_format.h"
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
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

namespace {

constexpr int kExitFailed = 1, kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: intermod-study [OPTION]... STUDY.int\n"
    "Runs the intermodulation study of a study file and prints the interfering products\n"
    "in the order of the results list, one line each; or, with --find-channels, the\n"
    "channels of a band where no product interferes.\n"
    "\n"
    "  --order 1|3|5       1st - Direct, 1st to 3rd or 1st to 5th (default 5)\n"
    "  --separation KHZ    minimum separation in kHz in place of the file's, as in the window\n"
    "  --format FORMAT     text (default; counts on stderr), summary, mixes, json or csv\n"
    "  --mixes             with --format json, also the distinct mixes (\"mixes\")\n"
    "  --find-channels FROM-TO  test the channels of the band FROM to TO MHz as receivers\n"
    "  --raster KHZ        the channel step of --find-channels, such as 12.5 or 25\n"
    "  --keep-from-study   clean channels also keep the separation from the study's frequencies\n"
    "  --threads N         threads to compute on (default: every core)\n"
    "  --quiet             nothing on standard error but errors (no progress, no summary)\n"
    "  -h, --help          show this help and exit\n"
    "  --version           show the version and exit\n"
    "  --                  the next argument is the study file, even if it begins with -\n"
    "\n"
    "Exit status: 0 done, 1 failed (the reason on standard error), 2 bad usage, 130 stopped\n"
    "by Ctrl+C, 143 stopped by SIGTERM.\n";

struct Options {
    kim::OrderChoice order = kim::OrderChoice::FirstToFifth;
    std::string format = "text";
    // --find-channels: the band and the raster.
    bool findChannels = false;
    double fromMHz = 0, toMHz = 0;
    std::optional<double> rasterKHz;
    bool keepFromStudy = false;
    std::optional<std::string> separation;
    unsigned threads = 0;
    bool quiet = false;
    bool mixes = false; // --mixes
    std::string file;
};

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

int usageError(const std::string& message) {
    std::fprintf(stderr, "intermod-study: %s\n\n%s", message.c_str(), kUsage);
    return kExitUsage;
}

// "takes ..., not "value"": names the value given.
int badValue(const std::string& option, const char* takes, const std::string& value) {
    return usageError(option + " takes " + takes + ", not \"" + value + "\"");
}

// A separation the window's field could hold: what can be typed there (digits and
// points, or nothing), or a number grouped by thousands as the field writes it.
bool windowSeparation(std::string_view text) {
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view rest = point == std::string_view::npos ? "" : text.substr(point);
    if (rest.find_first_not_of("0123456789.") != std::string_view::npos) return false;
    if (whole.find(',') == std::string_view::npos)
        return whole.find_first_not_of("0123456789") == std::string_view::npos;
    // 1,234 or 12,345,678: one to three digits, then groups of a comma and three.
    const size_t first = (whole.size() - 1) % 4 + 1;
    if (first > 3) return false;
    for (size_t i = 0; i < whole.size(); ++i) {
        const bool comma = i >= first && (i - first) % 4 == 0;
        if (comma ? whole[i] != ',' : (whole[i] < '0' || whole[i] > '9')) return false;
    }
    return true;
}

// Standard output written out: 0, or a message and 1 when it could not be.
int flushed() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    std::fprintf(stderr, "intermod-study: the output could not be written: %s\n",
                 std::strerror(errno));
    return kExitFailed;
}

// A plain decimal number ("136", "12.5"), as a band edge or a raster is given.
std::optional<double> plainNumber(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos ||
        !kim::isPlainNumber(text))
        return std::nullopt;
    return kim::readLeadingNumber(text);
}

// Reads the arguments into o; returns an exit status when the program ends here.
std::optional<int> parseArguments(int argc, char** argv, Options& o) {
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return flushed();
        }
        if (arg == "--version") {
            std::printf("intermod-study %s\n", KIM_VERSION);
            return flushed();
        }
        if (arg == "--quiet") {
            o.quiet = true;
            continue;
        }
        if (arg == "--keep-from-study") {
            o.keepFromStudy = true;
            continue;
        }
        if (arg == "--mixes") {
            o.mixes = true;
            continue;
        }
        if (arg == "--") {
            if (i + 1 < argc && !haveFile) {
                o.file = argv[++i];
                haveFile = true;
            }
            if (i + 1 < argc) return usageError("one study file only");
            break;
        }
        std::string name = arg, value;
        const auto eq = arg.find('=');
        const bool inline_ = arg.rfind("--", 0) == 0 && eq != std::string::npos;
        if (inline_) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        if (name == "--order" || name == "--format" || name == "--separation" ||
            name == "--threads" || name == "--find-channels" || name == "--raster") {
            if (!inline_) {
                if (i + 1 >= argc) return usageError(name + " needs a value");
                value = argv[++i];
            }
            if (name == "--order") {
                if (value == "1")
                    o.order = kim::OrderChoice::First;
                else if (value == "3")
                    o.order = kim::OrderChoice::FirstToThird;
                else if (value == "5")
                    o.order = kim::OrderChoice::FirstToFifth;
                else
                    return badValue(name, "1, 3 or 5", value);
            } else if (name == "--format") {
                if (value != "text" && value != "summary" && value != "mixes" && value != "json" &&
                    value != "csv")
                    return badValue(name, "text, summary, mixes, json or csv", value);
                o.format = value;
            } else if (name == "--find-channels") {
                // FROM-TO: the first "-" after the first character divides them.
                const auto dash = value.find('-', 1);
                const auto from = plainNumber(std::string_view(value).substr(0, dash));
                const auto to = dash == std::string::npos
                                    ? std::nullopt
                                    : plainNumber(std::string_view(value).substr(dash + 1));
                if (!from || !to)
                    return badValue(name, "a band FROM-TO in MHz, such as 136-174", value);
                o.findChannels = true;
                o.fromMHz = *from;
                o.toMHz = *to;
            } else if (name == "--raster") {
                o.rasterKHz = plainNumber(value);
                if (!o.rasterKHz) return badValue(name, "kHz, such as 12.5 or 25", value);
            } else if (name == "--separation") {
                if (!windowSeparation(value))
                    return badValue(name, "kHz as the window does, such as 25, 12.5 or 1,000.0",
                                    value);
                o.separation = value;
            } else {
                const bool digits = !value.empty() && value.size() <= 4 &&
                                    value.find_first_not_of("0123456789") == std::string::npos;
                const int n = digits ? std::stoi(value) : 0;
                if (n < 1 || n > 1024) return badValue(name, "a number from 1 to 1024", value);
                o.threads = static_cast<unsigned>(n);
            }
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') return usageError("unknown option " + arg);
        if (haveFile) return usageError("one study file only");
        o.file = arg;
        haveFile = true;
    }
    if (o.findChannels != o.rasterKHz.has_value())
        return usageError(o.findChannels ? "--find-channels needs --raster"
                                         : "--raster goes with --find-channels");
    if (o.keepFromStudy && !o.findChannels)
        return usageError("--keep-from-study goes with --find-channels");
    if (o.mixes && (o.format != "json" || o.findChannels))
        return usageError("--mixes goes with --format json of a study");
    if (o.findChannels) {
        if (o.format == "summary" || o.format == "mixes")
            return usageError("--format " + o.format + " is for studies, not for --find-channels");
        const std::string bad = kim::checkBand(o.fromMHz, o.toMHz, *o.rasterKHz);
        if (!bad.empty()) return usageError(bad);
    }
    if (!haveFile) return usageError("no study file named");
    return std::nullopt;
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
    ProgressLine progress(!o.quiet && isatty(STDERR_FILENO));
    kim::RunOptions run;
    run.threads = o.threads;
    run.stop = interrupt.token();
    run.progress = [&](double share) { progress.update(share); };
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

    ProgressLine progress(!o.quiet && isatty(STDERR_FILENO));
    kim::RunOptions run;
    run.threads = o.threads;
    run.stop = interrupt.token();
    run.progress = [&](double share) { progress.update(share); };
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
        if (const auto status = parseArguments(argc, argv, o)) return *status;
        return study(o, interrupt);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "intermod-study: %s: there is not enough memory for this study\n",
                     o.file.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "intermod-study: %s: %s\n", o.file.c_str(), e.what());
    }
    return kExitFailed;
}
