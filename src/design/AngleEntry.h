#pragma once
// What the angles dialog hands over when OK is clicked, and the storing of
// it into the job. Kept apart from the window so that the order of storing
// and every refusal can be exercised without widgets.
#include "common/SharedState.h"

#include <QString>
#include <cstdint>

namespace zep {

class MessageSink;
struct MaterialTable;

// Where the refractive index comes from.
enum class RISource { File, Specified, Material };

struct AngleEntry {
    // The six angle boxes as typed.
    QString startPav, minPav, maxPav, startCrn, minCrn, maxCrn;
    bool fixPav = false, fixCrn = false;
    RISource source = RISource::File;
    QString specRI, specDisp;   // the two boxes of the specified-RI option
    QString specDensity;        // and its density (g/cm3); empty: no weight is shown
    QString material;           // the selected material, empty when none
    uint32_t colour = 0xFFFFFF; // the swatch, 0xBBGGRR
};

// The colour value 0xBBGGRR of three components.
uint32_t colourValue(int red, int green, int blue);
// Splits 0xBBGGRR into the job's theRCol, theGCol and theBCol.
void splitColour(uint32_t c, JobState& job);

// Stores the entry into the job step by step: angles, steps, fix flags,
// RI source, colour. A refusal shows its message and returns false; what was
// stored before it stays stored. The six angle boxes are read together
// first: one that is not an angle from 0.1 to 89.9 (and a specified index or
// dispersion out of range, or the material option without a material)
// raises ZepError with a message naming the box. True when everything was
// stored.
bool storeAngleEntry(const AngleEntry& in, JobState& job, const MaterialTable& materials,
                     MessageSink& messages);

} // namespace zep
