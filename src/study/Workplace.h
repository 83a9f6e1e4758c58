#pragma once
// A working folder of a job's own (a temporary folder that carries zeptool's
// process id, so that the next run removes those a killed zeptool left) with
// everything a run shares, and gemray started directly in it (no console).
#include "common/Messages.h"
#include "common/SharedState.h"
#include "mapper/MapStore.h"
#include "merit/MeritRecord.h"
#include "optimize/OptimizationTargets.h"
#include "runner/DirectPort.h"
#include "runner/Runner.h"

#include <QTemporaryDir>
#include <memory>

namespace zep::tool {

struct Workplace {
    QTemporaryDir dir;
    ShellValues shell;
    Preferences prefs;
    ImageStore images;
    BitmapTemplates bitmaps;
    MapStore map;
    MeritRecord merit;
    bool AbortFlag = false;
    RecordingSink messages;
    std::unique_ptr<DirectPort> port;

    // ZepError when no folder can be made or no gemray stands beside zeptool.
    Workplace();
    // Removes the folder as a clean-up does: nothing through a link.
    ~Workplace();
    Workplace(const Workplace&) = delete;
    Workplace& operator=(const Workplace&) = delete;

    RunnerEnv runnerEnv(const JobState& job);
    // Masks the targets use, read as a window reads them when it opens.
    void readMasksFor(const OptimizationTargets& t);
    // ZepError naming `what` when a message was said.
    void failIfSaid(const QString& what) const;
};

} // namespace zep::tool
