#pragma once
// The line a window shows under a result: what it can lose within the
// cutting tolerance, in the warning colour with a hint when that is more
// than 5 %.
#include "common/SharedState.h"
#include "merit/RobustMerit.h"

#include "dialogs/WindowSupport.h"
#include <optional>

class QLabel;

namespace zep {

// The hint after a steep margin.
extern const QString SteepMarginHint; // "a small cutting error costs much here: try Optimize for the tolerance"

// The label's text and colour for `margin` (the hint on a line of its own);
// an empty label without one.
void showMargin(QLabel* label, const std::optional<Margin>& margin);

// The job's margin, when it has one.
std::optional<Margin> jobMargin(const JobState& job);

} // namespace zep
