#pragma once
// A mapper view that keeps what the mapper shows; a console port that counts how often it came forward.
#include "mapper/Mapper.h"
#include "runner/Runner.h"

#include <QHash>
#include <functional>

namespace zep::test {

class RecordingMapperView : public QuietMapperView {
public:
    void setText(const char* box, const QString& text) override { texts[QLatin1String(box)] = text; }
    void enable(const char* control, bool on) override { enabled[QLatin1String(control)] = on; }
    void drawBar(const MeritBar& b) override { bar = b; }
    void showMap(const QString& file) override
    {
        ++mapsShown;
        if (onMap)
            onMap(file);
    }
    void showColourStrip(const QByteArray& bitmap) override { strip = bitmap; }
    void letEventsRun() override {}

    QHash<QString, QString> texts;
    QHash<QString, bool> enabled;
    MeritBar bar;
    QByteArray strip;
    int mapsShown = 0;
    std::function<void(const QString&)> onMap; // after each map shown
};

class CountingPort : public ConsolePort {
public:
    void paste(const QString&) override {}
    void bringToFront() override { ++fronts; }
    int fronts = 0;
};

} // namespace zep::test
