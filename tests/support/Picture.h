#pragma once
// Saves a window's picture for the README when ZEP_SCREENSHOT_DIR names a
// folder (run the test under a real display for the window manager's look).
#include <QString>
#include <QWidget>

namespace zep::test {

inline void picture(QWidget* w, const QString& name)
{
    const QString dir = qEnvironmentVariable("ZEP_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + u'/' + name);
}

} // namespace zep::test
