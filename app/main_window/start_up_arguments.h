// The program's own arguments, read from argv before QApplication sees them: Qt would take
// -reverse, -style, -platform and the like, which here are parts of one file name.
#pragma once

#include <QString>

#include <cstdio>

namespace kim {

enum class StartUpAnswer { Window, Help, Version };

// The arguments after the program's name, joined with single blanks.
QString argumentText(int argc, const char* const* argv);

// --help and --version answer only when they are the whole argument text; anything else
// names a study file, so a study called --help opens as "--help" or ./--help.
StartUpAnswer startUpAnswer(const QString& argumentText);

QString helpText();
QString versionText();

// Writes the answer and says on standard error when it could not be written.
// The exit status: 0, or 1 when the output was lost.
int printAnswer(StartUpAnswer answer, std::FILE* out = stdout);

} // namespace kim
