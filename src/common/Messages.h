#pragma once
// Every message ZEP shows goes through this interface: the windows show
// message boxes, tests record the texts and answer questions on cue.
#include <QString>
#include <QStringList>
#include <deque>

namespace zep {

class ZepError;

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

} // namespace zep
