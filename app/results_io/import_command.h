// File, Import Frequencies... and a paste into a list: what a text would add, shown in
// the import dialog before anything changes.
#pragma once

#include "frequency_import.h"

#include <QString>

#include <string>
#include <vector>

class QWidget;

namespace kim {

// Asks for a frequency list and reads it; false, after a message, when there is none to
// read.
bool readImportFile(QWidget* parent, std::string* text, QString* name);

// Shows what `text` (from `source`) would add beside the lists as they are; what the
// user chose to add, or nothing (a cancel, or a text refused with a message).
std::vector<ImportChoice> chooseImport(QWidget* parent, const std::string& text,
                                       const QString& source, std::vector<std::string> transmit,
                                       std::vector<std::string> receive, bool toTransmit);

} // namespace kim
