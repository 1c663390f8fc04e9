#include "start_up_arguments.h"

#include <QFile>

#include <cerrno>
#include <cstring>

namespace kim {

QString argumentText(int argc, const char* const* argv) {
    QString text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += QLatin1Char(' ');
        text += QFile::decodeName(argv[i]);
    }
    return text;
}

StartUpAnswer startUpAnswer(const QString& argumentText) {
    if (argumentText == QLatin1String("--help")) return StartUpAnswer::Help;
    if (argumentText == QLatin1String("--version")) return StartUpAnswer::Version;
    return StartUpAnswer::Window;
}

QString helpText() {
    return QStringLiteral(
        "Usage: korvane-intermod [STUDY.int]\n"
        "\n"
        "Opens the Korvane Intermod window; a study file named on the command line is\n"
        "loaded first. Everything after the program's name is one file name: blanks\n"
        "belong to it, and a name holding a double quote loses its first and last\n"
        "characters (\"my study.int\").\n"
        "\n"
        "  --help      show this text\n"
        "  --version   show the version\n"
        "\n"
        "Either option answers only when it is the sole argument; a study file named\n"
        "--help opens as ./--help or \"--help\".\n");
}

QString versionText() {
    return QStringLiteral("korvane-intermod " KIM_VERSION "\n");
}

int printAnswer(StartUpAnswer answer, std::FILE* out) {
    const QByteArray text =
        (answer == StartUpAnswer::Version ? versionText() : helpText()).toLocal8Bit();
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == size_t(text.size()) &&
                         std::fflush(out) == 0 && !std::ferror(out);
    if (written) return 0;
    std::fprintf(stderr, "korvane-intermod: standard output: %s\n",
                 errno ? std::strerror(errno) : "write failed");
    return 1;
}

} // namespace kim
