#pragma once
// The runner's console port over ZEP's console window.
#include "app/Console.h"
#include "common/SharedState.h"
#include "runner/Runner.h"

namespace zep {

class ConsoleAdapter : public ConsolePort {
public:
    // `prefs` is read at every paste (DosPaste: the paste keystrokes).
    ConsoleAdapter(Console& console, const Preferences& prefs)
        : m_console(console), m_prefs(prefs)
    {
    }

    void paste(const QString& line) override
    {
        m_console.pasteToDos(line + u'\r', m_prefs.DosPaste);
    }
    void bringToFront() override { m_console.bringToFront(); }
    bool isRunning() const override { return m_console.isRunning(); }

private:
    Console& m_console;
    const Preferences& m_prefs;
};

} // namespace zep
