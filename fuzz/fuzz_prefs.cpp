// A preferences file from outside.
#include "common/Messages.h"
#include "settings/PreferencesFile.h"

#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zep;
    RecordingSink messages;
    Preferences prefs;
    try {
        readPreferences(fuzz::bytes(data, size), prefs, messages);
    } catch (const ZepError&) {
        // reported by GetPrefs with the standard message
    }
    const int threads = gemrayThreads(prefs);
    if (threads < 1 || threads > MaxThreads)
        __builtin_trap();
    return 0;
}
