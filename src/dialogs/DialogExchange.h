#pragma once
// Values the small dialogs exchange with their callers: the caller sets the
// inputs, shows the dialog modally and reads the outputs after it closed.
#include <QString>
#include <array>
#include <functional>

namespace zep {

// The file chooser: pick an existing file (GFOpen) or name one to create.
struct FileChooserExchange {
    bool GFOpen = true;
    QString GFPattern;
    QString GFTitle;
    QString GFPrompt;
    QString GFTip;
    bool GFOK = false;
    QString GFDrv;      // stays empty: no drive letters here
    QString GFDir;      // in and out: where the chooser opens and what was accepted
    QString GFFile;
    QString GFSuggested; // in: the name offered when a new file is named (used once)
};

// The yes/no question: three lines, OK or Cancel; a fourth line, when set,
// follows them (used once: the dialog clears it).
struct YesNoExchange {
    QString YNLine1, YNLine2, YNLine3, YNLine4;
    bool YNAnswer = false;
};

// The four-number dialog: a prompt per row (empty hides the row) and a value.
// `refusal`, when set, judges the typed numbers together: a message refuses
// them and the dialog stays open (used once: the dialog clears it).
struct FourNumExchange {
    QString title;
    QString NQ1, NQ2, NQ3, NQ4;
    float NA1 = 0, NA2 = 0, NA3 = 0, NA4 = 0;
    bool NAnswer = false;
    std::function<QString(const std::array<float, 4>&)> refusal = {};
};

} // namespace zep
