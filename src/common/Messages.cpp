#include "Messages.h"
#include "ZepError.h"

namespace zep {

void MessageSink::report(const ZepError& e, const QString& routine)
{
    message(e.messageFor(routine));
}

void RecordingSink::message(const QString& text, const QString& title)
{
    messages << text;
    titles << title;
}

bool RecordingSink::question(const QString& text, const QString& title)
{
    messages << text;
    titles << title;
    if (answers.empty())
        return defaultAnswer;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

} // namespace zep
