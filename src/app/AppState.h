#pragma once
// Every value ZEP shares between its windows and routines, owned once by the
// application object and handed out by reference.
#include "bitmap/BitmapTemplates.h"
#include "common/SharedState.h"
#include "design/Materials.h"
#include "dialogs/DialogExchange.h"
#include "runner/RaytraceImages.h"
#include "mapper/MapStore.h"
#include "merit/MeritRecord.h"
#include "optimize/OptimizationTargets.h"
#include "playpen/PlayPenValues.h"

namespace zep {

struct AppState {
    ShellValues shell;
    Preferences prefs;
    WindowPositions positions;
    JobState job;
    OptimizationTargets targets;
    MaterialTable materials;
    DesignFileExchange fd;
    FileChooserExchange gf;
    YesNoExchange yn;
    FourNumExchange fn;
    BitmapTemplates bitmaps;
    ImageStore images;
    MapStore map;
    MeritRecord merit;        // the last merit function evaluation
    PlayPenValues playPen;    // what the PlayPen keeps between its openings
    bool AbortFlag = false;   // set by Abort and Cancel buttons; runners and loops test it
};

} // namespace zep
