#pragma once
// zeptool library: the design library from the command line.
//
//   zeptool library add PATH...
//   zeptool library list [--material NAME] [--text WORDS] [--gear N] [--facets MIN MAX] [--lw MIN MAX] [--json]
//   zeptool library rank --material NAME [--targets FILE] [--global] [-j N] [--csv OUT.csv | --jobs FILE]
//   zeptool library collect RESULTS
//   zeptool library show DESIGN-OR-HASH
//   zeptool library remove DESIGN-OR-HASH
//   zeptool library export --csv OUT [--material NAME]
//
// Every one takes --db FILE (default: library/LibraryDb.h's defaultLibraryPath)
// anywhere among its arguments.
#include "study/Arguments.h"

#include <ostream>

namespace zep::tool {

int libraryCommand(Arguments& args, std::ostream& out);
extern const char* const LibraryUsage;

} // namespace zep::tool
