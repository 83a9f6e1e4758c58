#pragma once
// Saves a window's picture for the README when ZEP_SCREENSHOT_DIR names a
// folder (run the test under a real display for the window manager's look),
// and holds the window to the look kept under the picture's name (Look.h).
#include "support/Look.h"

#include <QFileInfo>
#include <QString>
#include <QWidget>

namespace zep::test {

inline void picture(QWidget* w, const QString& name)
{
    const QString dir = qEnvironmentVariable("ZEP_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + u'/' + name);
    else
        QVERIFY2(looksAsKept(w, QFileInfo(name).completeBaseName()), qPrintable(name));
}

} // namespace zep::test
