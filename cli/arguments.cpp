#include "arguments.h"

#include "number_format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace cli {

namespace {

constexpr const char* kUsage =
    "Usage: intermod-study [OPTION]... STUDY.int\n"
    "Runs the intermodulation study of a study file and prints the interfering products\n"
    "in the order of the results list, one line each; or, with --find-channels, the\n"
    "channels of a band where no product interferes; or, with --coordinate, a set of\n"
    "channels that stay clean together with the study's site.\n"
    "\n"
    "  --order 1|3|5       1st - Direct, 1st to 3rd or 1st to 5th (default 5)\n"
    "  --separation KHZ    minimum separation in kHz in place of the file's, as in the window\n"
    "  --format FORMAT     text (default; counts on stderr), summary, mixes, json or csv\n"
    "  --mixes             with --format json, also the distinct mixes (\"mixes\")\n"
    "  --find-channels FROM-TO  test the channels of the band FROM to TO MHz (see --as)\n"
    "  --raster KHZ        the channel step of --find-channels or --coordinate, such as 12.5\n"
    "  --keep-from-study   clean channels also keep the separation from the study's frequencies\n"
    "  --as ROLE           what a channel found is: receive (default), transmit or pair\n"
    "  --offset MHZ        a pair's receiver lies this far from its transmitter, such as -5\n"
    "  --coordinate N      find N channels that stay clean together with the site\n"
    "  --band FROM-TO,...  the bands of --coordinate in MHz, such as 470-608\n"
    "  --exclude FROM-TO,...  ranges --coordinate may not use, such as 512-518,548-554\n"
    "  --time-limit S      seconds --coordinate searches at most (default 60)\n"
    "  --threads N         threads to compute on (default: every core)\n"
    "  --quiet             nothing on standard error but errors (no progress, no summary)\n"
    "  -h, --help          show this help and exit\n"
    "  --version           show the version and exit\n"
    "  --                  the next argument is the study file, even if it begins with -\n"
    "\n"
    "Exit status: 0 done, 1 failed (the reason on standard error), 2 bad usage, 130 stopped\n"
    "by Ctrl+C, 143 stopped by SIGTERM.\n";

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

// FROM-TO, the first "-" after the first character dividing them.
std::optional<kim::FrequencyRange> rangeOf(std::string_view text) {
    const auto dash = text.find('-', 1);
    const auto from = plainNumber(text.substr(0, dash));
    const auto to =
        dash == std::string_view::npos ? std::nullopt : plainNumber(text.substr(dash + 1));
    if (!from || !to) return std::nullopt;
    return kim::FrequencyRange{*from, *to};
}

// FROM-TO[,FROM-TO...].
std::optional<std::vector<kim::FrequencyRange>> rangesOf(std::string_view text) {
    std::vector<kim::FrequencyRange> out;
    for (;;) {
        const auto comma = text.find(',');
        const auto r = rangeOf(text.substr(0, comma));
        if (!r) return std::nullopt;
        out.push_back(*r);
        if (comma == std::string_view::npos) return out;
        text.remove_prefix(comma + 1);
    }
}

} // namespace

// The request of --coordinate, without the study's site.
kim::CoordinationRequest coordinationOf(const Options& o) {
    kim::CoordinationRequest r;
    r.order = o.order;
    r.bands = o.bands;
    r.rasterKHz = o.rasterKHz.value_or(0);
    r.exclusions = o.exclusions;
    r.offsetMHz = o.offsetMHz.value_or(0);
    r.wanted = o.coordinate.value_or(0);
    r.timeLimitSeconds = o.timeLimit.value_or(60);
    return r;
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
            name == "--threads" || name == "--find-channels" || name == "--raster" ||
            name == "--as" || name == "--offset" || name == "--coordinate" || name == "--band" ||
            name == "--exclude" || name == "--time-limit") {
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
                const auto band = rangeOf(value);
                if (!band) return badValue(name, "a band FROM-TO in MHz, such as 136-174", value);
                o.findChannels = true;
                o.fromMHz = band->fromMHz;
                o.toMHz = band->toMHz;
            } else if (name == "--as") {
                if (value == "receive")
                    o.role = kim::ChannelRole::Receive;
                else if (value == "transmit")
                    o.role = kim::ChannelRole::Transmit;
                else if (value == "pair")
                    o.role = kim::ChannelRole::Pair;
                else
                    return badValue(name, "receive, transmit or pair", value);
                o.roleGiven = true;
            } else if (name == "--offset") {
                const bool minus = !value.empty() && (value[0] == '-' || value[0] == '+');
                o.offsetMHz = plainNumber(std::string_view(value).substr(minus ? 1 : 0));
                if (!o.offsetMHz) return badValue(name, "MHz, such as 0.6 or -5", value);
                if (value[0] == '-') *o.offsetMHz = -*o.offsetMHz;
            } else if (name == "--coordinate") {
                const bool digits = !value.empty() && value.size() <= 6 &&
                                    value.find_first_not_of("0123456789") == std::string::npos;
                const size_t n = digits ? std::stoul(value) : 0;
                if (n < 1 || n > kim::kMaxCoordinated)
                    return badValue(name, "a number of channels from 1 to 10,000", value);
                o.coordinate = n;
            } else if (name == "--band" || name == "--exclude") {
                const auto ranges = rangesOf(value);
                if (!ranges)
                    return badValue(
                        name, "ranges FROM-TO in MHz, such as 470-608 or 470-512,518-608", value);
                (name == "--band" ? o.bands : o.exclusions) = *ranges;
            } else if (name == "--time-limit") {
                o.timeLimit = plainNumber(value);
                if (!o.timeLimit || !(*o.timeLimit > 0))
                    return badValue(name, "seconds, such as 60 or 2.5", value);
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
    if (o.findChannels && o.coordinate)
        return usageError("--find-channels and --coordinate do not go together");
    if ((o.findChannels || o.coordinate) != o.rasterKHz.has_value())
        return usageError(o.findChannels ? "--find-channels needs --raster"
                          : o.coordinate ? "--coordinate needs --raster"
                                         : "--raster goes with --find-channels or --coordinate");
    if (o.keepFromStudy && !o.findChannels)
        return usageError("--keep-from-study goes with --find-channels");
    if (o.roleGiven && !o.findChannels) return usageError("--as goes with --find-channels");
    if (o.mixes && (o.format != "json" || o.findChannels || o.coordinate))
        return usageError("--mixes goes with --format json of a study");
    if (o.findChannels) {
        if (o.format == "summary" || o.format == "mixes")
            return usageError("--format " + o.format + " is for studies, not for --find-channels");
        const std::string bad = kim::checkBand(o.fromMHz, o.toMHz, *o.rasterKHz);
        if (!bad.empty()) return usageError(bad);
        if (o.role == kim::ChannelRole::Pair && !o.offsetMHz)
            return usageError("--as pair needs --offset");
        if (o.offsetMHz && o.role != kim::ChannelRole::Pair)
            return usageError("--offset goes with --as pair or --coordinate");
        if (o.offsetMHz) {
            const std::string off = kim::checkOffset(o.fromMHz, *o.offsetMHz);
            if (!off.empty()) return usageError(off);
        }
    }
    if (!o.coordinate) {
        if (o.offsetMHz && !o.findChannels)
            return usageError("--offset goes with --as pair or --coordinate");
        if (!o.bands.empty()) return usageError("--band goes with --coordinate");
        if (!o.exclusions.empty()) return usageError("--exclude goes with --coordinate");
        if (o.timeLimit) return usageError("--time-limit goes with --coordinate");
    } else {
        if (o.format != "text" && o.format != "json")
            return usageError("--format for --coordinate is text or json");
        if (o.bands.empty()) return usageError("--coordinate needs --band");
        const std::string bad = kim::checkCoordination(coordinationOf(o));
        if (!bad.empty()) return usageError(bad);
    }
    if (!haveFile) return usageError("no study file named");
    return std::nullopt;
}

} // namespace cli
