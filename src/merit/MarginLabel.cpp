#include "merit/MarginLabel.h"

#include <QLabel>
#include <QPalette>

namespace zep {

const QString SteepMarginHint = QStringLiteral("a small cutting error costs much here: try Optimize for the tolerance");

void showMargin(QLabel* label, const std::optional<Margin>& margin)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, margin && margin->steep() ? warningColour() : QPalette().color(QPalette::WindowText));
    label->setPalette(p);
    if (!margin) {
        label->clear();
        return;
    }
    label->setText(marginText(*margin) + (margin->steep() ? QStringLiteral("\n") + SteepMarginHint : QString()));
}

std::optional<Margin> jobMargin(const JobState& job)
{
    if (!job.theMarginKnown)
        return std::nullopt;
    Margin m;
    m.tolerance = job.theMarginTol;
    m.mf = job.theFinalMF;
    m.worst = job.theMarginWorst;
    m.worstPav = job.theMarginPav;
    m.worstCrn = job.theMarginCrn;
    return m;
}

} // namespace zep
