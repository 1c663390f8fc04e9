// Inside the engine: the study as the clean-channel finder runs it.
#pragma once

#include "study_engine.h"

namespace kim {

// runStudy(), with each receiver's nearest product looked for among every product within
// nearBoundMHz of it, interfering or not; with a bound of zero or less, runStudy() itself.
StudyResult runStudyNear(const StudyInput& input, const RunOptions& options, double nearBoundMHz);

} // namespace kim
