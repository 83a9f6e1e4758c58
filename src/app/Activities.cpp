// The activity windows of this build, plugged into the main window's
// commands. Each window gets what it needs from the application object.
#include "app/ZepApplication.h"
#include "mapper/MapperWindow.h"

#include <QLineEdit>

namespace zep {

namespace {

// The text of one of the main window's boxes (empty when there is none).
QString boxText(QWidget* window, const char* name)
{
    const auto* box = window ? window->findChild<QLineEdit*>(QLatin1String(name)) : nullptr;
    return box ? box->text() : QString();
}

} // namespace

void plugActivityWindows(ZepApplication& app)
{
    app.windows().mapper = [&app](QWidget* parent) {
        AppState& s = app.state();
        MapperWindowEnv env{
            MapperEnv{s.map, s.job, s.targets, s.merit, s.bitmaps, s.shell, s.AbortFlag, app.messages(),
                      app.consolePort()},
            app.dialogEnv(),
            s.images,
            s.bitmaps,
            [&app](RaytraceViews views) { return app.runnerEnv(views); },
            boxText(parent, "txtItPav"),
            boxText(parent, "txtItCrn")};
        showMapper(std::move(env), parent);
    };
}

} // namespace zep
