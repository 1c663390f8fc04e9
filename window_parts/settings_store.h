// The per-user settings store: text values under the program title, a section and a
// key. Each setting has its own accessor; no other code knows how a key is spelt.
#pragma once

#include <QString>

namespace kim {

inline const QString kProgramTitle = QStringLiteral("Korvane Intermod (Beta)");
inline const QString kOrganisation = QStringLiteral("Korvane");

// A stored flag as the program reads it: "True" and "False" in any case, a number is
// true unless zero, and any other text counts as true.
bool settingToBool(const QString& text);

namespace settings {

// "Configuration"/"CalcOnFly": "True" or "False"; true when absent.
bool calcOnFly();
void setCalcOnFly(bool on);

// "Settings"/"Last Dir": the file dialogs' first folder, or absent when never stored.
QString lastDir(const QString& absent);
void setLastDir(const QString& path);

// "User": the details the report carries; absent reads as the given text.
QString company(const QString& absent = QString());
void setCompany(const QString& text);
QString engineer(const QString& absent = QString());
void setEngineer(const QString& text);
QString phone();
void setPhone(const QString& text);
QString address();
void setAddress(const QString& text);

// "Finder": the clean-channel search's band (MHz) and raster (kHz) as typed, the band
// empty and the raster "12.5" when never stored; and whether channels keep the
// separation from the study's own frequencies too ("True" or "False", false when absent).
QString finderBandFrom();
void setFinderBandFrom(const QString& text);
QString finderBandTo();
void setFinderBandTo(const QString& text);
QString finderRaster();
void setFinderRaster(const QString& text);
bool finderKeepFromStudy();
void setFinderKeepFromStudy(bool on);
// What the finder finds ("Receive", "Transmit", "Pair" or "Set"; "Receive" when absent),
// and as typed: a pair's offset in MHz, the ranges no channel may use, the channels a
// set is to hold ("24" when absent) and its time budget in seconds ("60" when absent).
QString finderFind();
void setFinderFind(const QString& text);
QString finderOffset();
void setFinderOffset(const QString& text);
QString finderExclude();
void setFinderExclude(const QString& text);
QString finderSetSize();
void setFinderSetSize(const QString& text);
QString finderTimeLimit();
void setFinderTimeLimit(const QString& text);

} // namespace settings
} // namespace kim
