#include "AngleEntry.h"
#include "Materials.h"
#include "common/Messages.h"
#include "common/NumText.h"

namespace zep {

uint32_t colourValue(int red, int green, int blue)
{
    return uint32_t(red & 0xFF) | uint32_t(green & 0xFF) << 8 | uint32_t(blue & 0xFF) << 16;
}

void splitColour(uint32_t c, JobState& job)
{
    job.theBCol = int16_t(c / 65536);
    job.theGCol = int16_t((c - uint32_t(job.theBCol) * 65536) / 256);
    job.theRCol = int16_t(c % 256);
}

bool storeAngleEntry(const AngleEntry& in, JobState& job, const MaterialTable& materials,
                     MessageSink& messages)
{
    const QString* boxes[] = {&in.startPav, &in.startCrn, &in.minPav,
                              &in.maxPav,   &in.minCrn,   &in.maxCrn};
    for (const QString* box : boxes)
        if (box->isEmpty()) {
            messages.message(QStringLiteral("Please specify value for all angles"));
            return false;
        }

    // Every angle box is read before any is stored: one that is not an angle
    // is named, and the job keeps its angles.
    static const char* const names[] = {"Start Pavilion Angle", "Start Crown Angle", "Pavilion Min",
                                        "Pavilion Max",         "Crown Min",         "Crown Max"};
    float read[6];
    for (int i = 0; i < 6; ++i)
        read[i] = ToSingle(ReadBox(*boxes[i], QLatin1String(names[i]), AngleRange));
    float* fields[] = {&job.stPav, &job.stCrn, &job.minPav, &job.maxPav, &job.minCrn, &job.maxCrn};
    for (int i = 0; i < 6; ++i)
        *fields[i] = read[i];

    job.pStep = (job.maxPav - job.minPav) / 10.0f;
    job.cStep = (job.maxCrn - job.minCrn) / 10.0f;
    job.fixPav = in.fixPav;
    job.fixCrn = in.fixCrn;

    if (!WithinLimits(job.stPav, job.minPav, job.maxPav) || !WithinLimits(job.stCrn, job.minCrn, job.maxCrn)) {
        // Named: a minimum above its maximum, else the start outside them.
        const auto above = [&](int high, int low) {
            return QStringLiteral(" \"%1\" %2 is above \"%3\" %4.")
                .arg(QLatin1String(names[high]), NumText(read[high]).trimmed(), QLatin1String(names[low]),
                     NumText(read[low]).trimmed());
        };
        QString which;
        for (int half = 0; half < 2 && which.isEmpty(); ++half) {
            const int start = half, lo = 2 + 2 * half, hi = 3 + 2 * half;
            if (read[lo] > read[hi])
                which = above(lo, hi);
            else if (!WithinLimits(read[start], read[lo], read[hi]))
                which = read[start] > read[hi] ? above(start, hi) : above(lo, start);
        }
        messages.message(QStringLiteral("Starting angles must be between Min and Max!") + which);
        return false;
    }

    float specRI = 0, specDisp = 0, specDensity = 0;
    if (in.source == RISource::Specified && !in.specRI.isEmpty() && !in.specDisp.isEmpty()) {
        specRI = ToSingle(ReadBox(in.specRI, QStringLiteral("R. I."), BoxRange{1, 10, true}));
        specDisp = ToSingle(ReadBox(in.specDisp, QStringLiteral("dispersion"), BoxRange{0, 1}));
        if (!in.specDensity.trimmed().isEmpty())
            specDensity = ToSingle(ReadBox(in.specDensity, QStringLiteral("Density"), BoxRange{0, 30, true}));
    }
    job.useFileRI = job.useSpecRI = job.useMatRI = false;
    switch (in.source) {
    case RISource::File:
        job.useFileRI = true;
        job.theRI = 0;
        break;
    case RISource::Specified:
        if (in.specRI.isEmpty() || in.specDisp.isEmpty()) {
            messages.message(QStringLiteral("Please specify a refractive index and dispersion"));
            return false;
        }
        job.theRI = specRI;
        job.theDisp = specDisp;
        job.theDensity = specDensity;
        job.useSpecRI = true;
        job.theMat = QStringLiteral("Custom");
        break;
    case RISource::Material:
        job.useMatRI = true;
        job.theDensity = 0; // the table's
        job.theMat = in.material;
        job.theRI = ToSingle(materials.riOf(in.material)); // no selection: subscript out of range
        job.theDisp = ToSingle(materials.dispOf(in.material));
        break;
    }

    splitColour(in.colour, job);
    return true;
}

} // namespace zep
