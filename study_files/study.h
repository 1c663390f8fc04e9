// The study an engineer works on: what the main window holds and a study file keeps.
#pragma once

#include "study_engine.h"

#include <string>
#include <vector>

namespace kim {

struct Study {
    std::string siteName;
    std::string description;
    std::string date;
    std::string separation = "25.0";               // kHz, as typed
    OrderChoice order = OrderChoice::FirstToFifth; // not kept in study files
    std::vector<std::string> transmit;             // list texts, MHz, in list order
    std::vector<std::string> receive;

    StudyInput input() const { return {transmit, receive, separation, order}; }
};

} // namespace kim
