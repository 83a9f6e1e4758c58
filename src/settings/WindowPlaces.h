#pragma once
// Positions of the windows that have no pair in the saved state file (whose
// 89 lines stay as they are): key-value lines in "ZEPWindows.txt" in the
// working folder,
//   "ZEPWindows",1   "T<window>",<top>   "L<window>",<left>   ...   "END","ZEPWindows"
// in twips, like the saved state's pairs. Each window reads its pair when it
// opens and stores it when it closes.
#include <QString>

namespace zep {

struct WindowPlace {
    float top = 0;
    float left = 0;
};

// The pair of `window` ("CutList" reads "TCutList" and "LCutList"); 0 and 0, the
// screen's top left, when the file, the pair or a readable value is missing.
WindowPlace readWindowPlace(const QString& path, const QString& window);

// Stores the pair of `window`, keeping every other pair the file holds, and
// rewrites the file in one step. Raises ZepError when it cannot be written.
void storeWindowPlace(const QString& path, const QString& window, WindowPlace place);

} // namespace zep
