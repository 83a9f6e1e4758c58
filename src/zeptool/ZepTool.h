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
#include "study/Arguments.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <ostream>
#include <stdexcept>
#include <vector>

namespace zep::tool {

struct Subcommand {
    const char* name;
    const char* usage;   // the arguments after the name
    const char* summary; // one line on what it does
    // Runs the subcommand; throws UsageError or ZepError. Returns the exit status.
    int (*run)(Arguments& args, std::ostream& out);
    // `--help`: a line per option, its words and what it does.
    const char* options = "";
};

const std::vector<Subcommand>& subcommands();

// The whole program: `args` without the program's name.
int runTool(const QStringList& args, std::ostream& out, std::ostream& err);

} // namespace zep::tool
