#pragma once
// frmMFMap, the merit function mapper window: the 11 × 11 map growing cell
// by cell, its colour scale and axes, the "Current Gem" panel with the merit
// bar, and Go, Abort, Cancel, Load and Save; "Use as Start Angles" hands a
// cell's angles to the next optimization.
#include "dialogs/DialogEnv.h"
#include "mapper/Mapper.h"
#include "runner/Runner.h"

#include <functional>

class QWidget;

namespace zep {

struct MapperWindowEnv {
    MapperEnv mapper;
    DialogEnv dialogs;               // positions, tips, the chooser and the limits dialog
    ImageStore& images;              // the masks are read into it at opening
    BitmapTemplates& bitmaps;        // a mask's header replaces BMP_Header
    // The runner's environment for the window's "Current Gem" panel.
    std::function<RunnerEnv(RaytraceViews)> runnerEnv;
    QString itPav, itCrn;            // the main window's optimized angles (empty: none)
    // "Use as Start Angles": makes (pavilion, crown) the job's start angles.
    std::function<void(float, float)> useAsStart;
};

// Opens the mapper window modally; returns when it has closed.
void showMapper(MapperWindowEnv env, QWidget* parent = nullptr);

} // namespace zep
