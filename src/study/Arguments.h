#pragma once
// A subcommand's arguments and what a command line tells of a failure: shared
// by zeptool's subcommands and the study engine below them.
#include <QString>
#include <QStringList>
#include <exception>
#include <stdexcept>
#include <string>

namespace zep::tool {

// A command line that cannot be run; what() names the problem.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The arguments of a subcommand, taken one by one.
class Arguments {
public:
    explicit Arguments(QStringList args) : m_args(std::move(args)) {}
    bool atEnd() const { return m_next >= m_args.size(); }
    // The next argument; `what` names it when it is missing.
    QString take(const char* what);
    // The next argument as a number (strict reading).
    double number(const char* what);
    // The next argument as a size: a finite number above 0 and at most `limit`.
    double size(const char* what, double limit);
    // The next argument, when it is a number, as it was given.
    QString numeral(const char* what);
    // The next argument where an option may stand: an option ("-...") given
    // before is refused, not taken again.
    QString option(const char* what);

private:
    QStringList m_args;
    qsizetype m_next = 0;
    QStringList m_options;
};

// What zeptool tells of a failure after "zeptool NAME: ".
std::string failureText(const std::exception& e);

} // namespace zep::tool
