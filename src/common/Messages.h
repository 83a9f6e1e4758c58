#pragma once
// Every message ZEP shows goes through this interface: the windows show
// message boxes, tests record the texts and answer questions on cue.
#include "common/ZepError.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <new>

namespace zep {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A message box with an OK button.
    virtual void message(const QString& text, const QString& title = QStringLiteral("ZEP")) = 0;
    // A Yes/No message box; true for Yes.
    virtual bool question(const QString& text, const QString& title = QStringLiteral("ZEP")) = 0;

    // Reports an error raised in `routine` (standard message or the error's own).
    void report(const ZepError& e, const QString& routine);
};

// Keeps every text it is shown; answers questions from a queue (default Yes).
class RecordingSink : public MessageSink {
public:
    void message(const QString& text, const QString& title = QStringLiteral("ZEP")) override;
    bool question(const QString& text, const QString& title = QStringLiteral("ZEP")) override;

    QStringList messages;     // every text shown, questions included, in order
    QStringList titles;       // the title of each
    std::deque<bool> answers; // answers to the next questions
    bool defaultAnswer = true;
};

// Runs one routine (an event handler, a runner, an evaluation): a run-time
// error ends it with the standard message naming `routine`, after setting
// `abortFlag` when one is given. True when the routine ran to its end.
template <class Routine>
bool runRoutine(MessageSink& messages, const QString& routine, Routine&& body, bool* abortFlag = nullptr)
{
    auto fail = [&](const ZepError& e) {
        if (abortFlag)
            *abortFlag = true;
        messages.report(e, routine);
    };
    try {
        body();
        return true;
    } catch (const ZepError& e) {
        fail(e);
    } catch (const std::bad_alloc&) {
        fail(ZepError(err::OutOfMemory));
    }
    return false;
}

} // namespace zep
