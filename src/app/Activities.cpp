// The activity windows of this build, plugged into the main window's
// commands. Each window gets what it needs from the application object.
#include "app/ZepApplication.h"

namespace zep {

void plugActivityWindows(ZepApplication& app)
{
    (void)app;
}

} // namespace zep
