#pragma once
// What the shared dialogs need from the application: positions, preferences,
// the message sink, the working folder and the exchange values.
#include "common/SharedState.h"
#include "dialogs/DialogExchange.h"

namespace zep {

class MessageSink;

struct DialogEnv {
    WindowPositions& positions;
    Preferences& prefs;
    MessageSink& messages;
    QString workPath;               // the working folder with a trailing separator
    FileChooserExchange& fileChooser;
    YesNoExchange& yesNo;
    FourNumExchange& fourNum;
};

} // namespace zep
