#pragma once
// frmCutList, "Cutting List": the job's design re-cut to the optimized angles
// (the start angles when there is no result), tier by tier beside the old
// angles, with Save Design (.GEM), Save Text (GemCAD's .asc) and Save Diagram
// (PDF). Its position is kept in "ZEPWindows.txt" in the working folder.
#include "common/SharedState.h"
#include "dialogs/DialogEnv.h"

class QWidget;

namespace zep {

struct CutListEnv {
    DialogEnv dialogs;      // the file chooser, the messages, the working folder
    const JobState& job;
    bool hasResult = false; // the main window shows an optimization result
    // What the result can lose within the cutting tolerance ("within ±0.10°:
    // at least 128.1 (−11 %)"); empty when it is not known. With a loss of
    // more than 5 %, the hint shown after it in the warning colour.
    QString margin, marginHint;
};

// The file in the working folder that keeps the window's position.
inline constexpr const char* kCutListPlaces = "ZEPWindows.txt";

// Reads and re-cuts the job's design and shows the window modally; a design
// that cannot be read or re-cut gets its message instead.
void showCuttingList(CutListEnv& env, QWidget* parent = nullptr);

} // namespace zep
