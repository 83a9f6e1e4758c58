// The activity windows of this build, plugged into the main window's
// commands. Each window gets what it needs from the application object.
#include "app/ZepApplication.h"
#include "playpen/PlayPenWindow.h"

namespace zep {

void plugActivityWindows(ZepApplication& app)
{
    app.windows().playPen = [&app](QWidget* parent) {
        const MainWindow* main = app.mainWindow();
        PlayPenEnv env{app.runnerEnv({}), app.designEnv(), app.dialogEnv(), app.state().playPen,
                       main ? main->txtItPavText() : QString(), main ? main->txtItCrnText() : QString()};
        showPlayPen(env, parent);
    };
}

} // namespace zep
