// The per-user settings store: text values under the program title, a section and a key.
#pragma once

#include <QString>

namespace kim {

inline const QString kProgramTitle = QStringLiteral("Korvane Intermod (Beta)");
inline const QString kOrganisation = QStringLiteral("Korvane");

// The stored text, or def when the key is absent (nothing is written then).
QString getSetting(const QString& section, const QString& key, const QString& def);
// Stores the text at once.
void saveSetting(const QString& section, const QString& key, const QString& value);

// A stored flag as the program reads it: "True" and "False" in any case, a number is
// true unless zero, and any other text counts as true.
bool settingToBool(const QString& text);

// "Configuration"/"CalcOnFly", true when absent.
bool readCalcOnFly();
void writeCalcOnFly(bool on);

} // namespace kim
