#pragma once
// zeptool: ZEP's command line for scripts.
//
//   zeptool angles DESIGN [--asc]
//   zeptool recut DESIGN [--pav OLD NEW] [--crn OLD NEW] -o OUT.gem [--asc OUT.asc] [--pdf OUT.pdf]
//   zeptool convert DESIGN -o OUT.gem|OUT.asc
//   zeptool optimize | map | study | movie ...   (see Jobs.h)
//
// DESIGN may be a .GEM file or GemCAD's text export (.asc), told apart by content.
//
// Each subcommand is one entry of the table that subcommands() returns: a name,
// its usage and a function that runs it. Bad input gets one line on the error
// output and a non-zero exit: 2 for a command line that cannot be run, 1 for a
// design or a file that fails. Files are written whole or not at all.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <ostream>
#include <stdexcept>
#include <vector>

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

private:
    QStringList m_args;
    qsizetype m_next = 0;
};

struct Subcommand {
    const char* name;
    const char* usage;   // the arguments after the name
    const char* summary; // one line on what it does
    // Runs the subcommand; throws UsageError or ZepError. Returns the exit status.
    int (*run)(Arguments& args, std::ostream& out);
};

const std::vector<Subcommand>& subcommands();

// What zeptool tells of a failure after "zeptool NAME: ".
std::string failureText(const std::exception& e);

// The whole program: `args` without the program's name.
int runTool(const QStringList& args, std::ostream& out, std::ostream& err);

} // namespace zep::tool
