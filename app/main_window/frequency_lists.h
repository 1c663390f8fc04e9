// The main window's frequency lists: list texts in sorted order, and frequencies put in
// as Add puts them.
#pragma once

#include "frequency_import.h"

#include <QStringList>

#include <string>
#include <vector>

class QListWidget;
class QWidget;

namespace kim {

QStringList itemTexts(const QListWidget* list);
std::vector<std::string> toStd(const QStringList& texts);
// Fills the list with the texts in sorted order.
void fillSorted(QListWidget* list, std::vector<std::string> texts);
// Inserts a list text at its sorted place, after its equals.
void insertSorted(QListWidget* list, const QString& text);
// Puts frequencies (MHz) into the transmit or receive list as the Add dialog does;
// duplicates are refused with one message over `messageParent`. Returns how many went in.
int addFrequencies(QListWidget* list, bool transmit, const std::vector<double>& mhz,
                   QWidget* messageParent);
// An import's frequencies, each into its list.
void addImported(QListWidget* transmitList, QListWidget* receiveList,
                 const std::vector<ImportChoice>& added);

} // namespace kim
