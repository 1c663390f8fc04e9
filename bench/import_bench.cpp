// The import preview with a large list: reading the text, then the dialog until it has
// shown and painted. Prints the time and the peak memory; asserts nothing. Runs offscreen.
//   import-bench [LINES]   (default 4,000,000 lines of four bytes: a 16,000,000-byte file)
#include "frequency_import.h"
#include "frmImport.h"

#include <QApplication>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace kim;

namespace {

double peakMB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}

// Three-digit frequencies, one a line, as a careless export of a channel plan would hold
// them: most of them repeat.
std::string list(long lines) {
    std::string text;
    text.reserve(static_cast<size_t>(lines) * 4);
    for (long i = 0; i < lines; ++i)
        text += std::to_string(100 + i % 900) + '\n';
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long lines = argc > 1 ? std::atol(argv[1]) : 4'000'000;
    std::string text = list(lines);
    std::printf("import preview: %ld lines, %zu bytes; before reading: peak %.0f MB\n", lines,
                text.size(), peakMB());
    QElapsedTimer t;
    t.start();
    ImportTable table = parseFrequencies(text);
    text = std::string();
    std::printf("  read the text         %8.2f s   peak %7.0f MB\n", t.nsecsElapsed() / 1e9,
                peakMB());
    frmImport dialog(nullptr, std::move(table), {}, {}, ImportList::Transmit,
                     QStringLiteral("bench"));
    std::printf("  dialog built          %8.2f s   peak %7.0f MB\n", t.nsecsElapsed() / 1e9,
                peakMB());
    dialog.show();
    QApplication::processEvents();
    (void)dialog.grab(); // paints every visible cell once
    std::printf("  shown and painted     %8.2f s   peak %7.0f MB\n", t.nsecsElapsed() / 1e9,
                peakMB());
    return 0;
}
