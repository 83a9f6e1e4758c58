#pragma once
// zeptool's jobs that run the ray tracer: an optimization, a map, and a study
// of many designs in many materials. They are ZEP's own optimizer and mapper
// without their windows, with gemray started directly in a working folder of
// the job's own (no console).
//
//   zeptool optimize DESIGN [job options] [--global] [--json [--job K/N]] [--recut OUT.gem]
//   zeptool map DESIGN [job options] -o OUT.MFM [--png OUT.png]
//   zeptool study DESIGN[@PAV,CRN]... --materials NAME,NAME... [-j N] [--csv OUT.csv | --jobs FILE]
//                 [--targets FILE] [--pav-limits MIN MAX] [--crn-limits MIN MAX] [--global]
//   zeptool study --collect RESULTS [--csv OUT.csv]
//   zeptool movie DESIGN ... (MovieCommand.cpp: a tilt movie as GIF or WebP)
//
// --global: the global search (GlobalSearch.h) instead of the single climb.
// A study runs its jobs itself, or writes them with --jobs as one command line
// each (a zeptool optimize ... --json --job K/N) for another engine to run (GNU
// parallel, a cluster's queue); --collect turns the JSON lines those jobs print,
// gathered into one file in any order, into the table the study would have
// written. With --job a job prints its JSON line even when it fails.
//
// Job options: --old PAV CRN, --start PAV CRN, --material NAME | --ri N
// [--disp D], --pav-limits MIN MAX, --crn-limits MIN MAX, --steps P C,
// --fix-pav, --fix-crn, --targets FILE. Without them: the old angles are the
// design's main tiers (mainAngles), the start is the old angles, the
// pavilion limits come from the critical angle (as ZEP's buttons set them),
// the crown may move 10 degrees either way (within 5 to 60), the steps are a
// tenth of the ranges, and the targets are ISO brightness and illumination,
// weight 1 each.
#include "study/Arguments.h"

#include <QStringList>
#include <ostream>

namespace zep::tool {

int optimizeCommand(Arguments& args, std::ostream& out);
int mapCommand(Arguments& args, std::ostream& out);
int studyCommand(Arguments& args, std::ostream& out);
// A tilt movie (MovieCommand.cpp).
int movieCommand(Arguments& args, std::ostream& out);

// Refuses outputs that must not be written (see checkOutputFile: a link,
// a device, one of the `inputs`, a folder that cannot be written) or that are
// named twice, and removes the temporaries a killed zeptool left beside them.
// Called before the first raytrace.
void checkOutputs(const QStringList& outputs, const QStringList& inputs);

// The usage lines of the four.
extern const char* const OptimizeUsage;
extern const char* const MapUsage;
extern const char* const StudyUsage;
extern const char* const MovieUsage;

} // namespace zep::tool
