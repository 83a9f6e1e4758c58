#include "optimize/ResultOwner.h"

#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "optimize/TargetFile.h"

#include <QCryptographicHash>

namespace zep {

QByteArray resultOwner(const JobState& job, const OptimizationTargets& t)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    try {
        hash.addData(readFileBytes(job.fnam, 16 << 20));
        // Numbers as the saved state keeps them, so that a restored job is the same.
        KvWriter w;
        w.string(QStringLiteral("fnam"), job.fnam);
        w.number(QStringLiteral("OldPav"), job.olPav);
        w.number(QStringLiteral("OldCrn"), job.olCrn);
        w.string(QStringLiteral("theMat"), job.useFileRI ? QStringLiteral("GemCAD file") : job.theMat);
        w.number(QStringLiteral("theRI"), job.useFileRI ? 0 : job.theRI);
        w.number(QStringLiteral("theDisp"), job.useFileRI ? 0 : job.theDisp);
        WriteOpt6(w, t);
        hash.addData(w.bytes());
    } catch (const ZepError&) {
        return {};
    }
    return hash.result().toHex();
}

void keepResult(JobState& job, const OptimizationTargets& t, float pav, float crn, float startMF, float finalMF)
{
    job.theFinalPav = pav;
    job.theFinalCrn = crn;
    job.theStartMF = startMF;
    job.theFinalMF = finalMF;
    job.theResultFor = resultOwner(job, t);
    job.theMarginKnown = false; // until its stencil is raytraced
}

void dropResult(JobState& job)
{
    job.theFinalPav = job.theFinalCrn = job.theStartMF = job.theFinalMF = 0;
    job.theResultFor.clear();
    job.theMarginKnown = false;
}

bool ownResult(JobState& job, const OptimizationTargets& t)
{
    if (!job.theResultFor.isEmpty() && job.theFinalPav > 0 && job.theFinalCrn > 0
        && job.theResultFor == resultOwner(job, t))
        return true;
    dropResult(job);
    return false;
}

} // namespace zep
