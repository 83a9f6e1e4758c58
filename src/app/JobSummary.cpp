#include "JobSummary.h"
#include "common/NumText.h"
#include "design/Materials.h"

namespace zep {

bool jobReady(const JobState& j)
{
    return !j.fnam.isEmpty() && j.stPav != 0 && j.stCrn != 0 && j.minPav != 0 && j.maxPav != 0
        && j.minCrn != 0 && j.maxCrn != 0;
}

bool evaluationReady(const JobState& j)
{
    return !j.fnam.isEmpty() && j.stPav != 0 && j.stCrn != 0;
}

QString setDerivedLimits(JobState& j, float designRi)
{
    const float ri = j.useFileRI || !(j.theRI > 1) ? designRi : j.theRI;
    const AngleLimits pav = derivedPavilionLimits(ri, j.stPav);
    const AngleLimits crn = derivedCrownLimits(j.olCrn, j.stCrn);
    j.minPav = pav.lo;
    j.maxPav = pav.hi;
    j.minCrn = crn.lo;
    j.maxCrn = crn.hi;
    j.pStep = (j.maxPav - j.minPav) / 10;
    j.cStep = (j.maxCrn - j.minCrn) / 10;
    const auto range = [](const AngleLimits& l) {
        return QStringLiteral("%1 to %2%3").arg(NumText(l.lo).trimmed(), NumText(l.hi).trimmed(),
                                               l.widened ? QStringLiteral(" (widened to hold the start)") : QString());
    };
    return QStringLiteral("Limits set: pavilion %1, crown %2").arg(range(pav), range(crn));
}

QStringList targetSummary(const OptimizationTargets& t)
{
    QStringList lines;
    if (t.doISO)
        lines << QStringLiteral("ISO Brightness        Weight: ") + NumText(t.wtISO);
    if (t.doIll)
        lines << QStringLiteral("Illumination Pattern  Weight: ") + NumText(t.wtILL);
    if (t.doTilt)
        lines << QStringLiteral("Tilt Performance      Weight: ") + NumText(t.wtTilt);
    if (t.doSparkle)
        lines << QStringLiteral("Sparkle Performance   Weight: ") + NumText(t.wtSparkle);
    if (t.doFire) {
        lines << QStringLiteral("Fire                  Weight: ") + NumText(t.wtFire);
        lines << QStringLiteral("  Material: ") + t.fireMat + QStringLiteral("  Dispersion: ") + NumText(t.fireDisp);
    }
    return lines;
}

QStringList staleFilesAtLoad()
{
    return {QStringLiteral("B"), QStringLiteral("P"), QStringLiteral("R"), QStringLiteral("I"),
            QStringLiteral("C"), QStringLiteral("ZEP.BAT"), QStringLiteral("Gemray.err")};
}

QStringList workingFilesAtQuit()
{
    return {QStringLiteral("B"), QStringLiteral("P"), QStringLiteral("R"), QStringLiteral("I"),
            QStringLiteral("C"), QStringLiteral("ZEPr.BMP"), QStringLiteral("ZEPc.BMP"),
            QStringLiteral("ZEPi.BMP"), QStringLiteral("ZEP.BAT"), QStringLiteral("Gemray.err")};
}

QString quitPasteText()
{
    return QString(5, u'\r') + QStringLiteral("REM   Click close button or hit RETURN to close this window")
        + QString(4, u'\r') + QStringLiteral("EXIT");
}

} // namespace zep
