// The exit statuses of every zipbuilder subcommand. They follow the values
// unzip gives for the same outcomes, so that scripts treat both alike: 0 and 1
// mean the work was done, 2 and above that it was not.
#pragma once

constexpr int kExitOk = 0;
constexpr int kExitWarning = 1;         // done, with something skipped or reported on the way
constexpr int kExitError = 2;           // failed: damaged archive, wrong password, write error ...
constexpr int kExitNoArchive = 9;       // the archive named does not exist
constexpr int kExitUsage = 10;          // bad command line: unknown command or option, missing operand
constexpr int kExitNothingMatched = 11; // extract, test: no member matched the specifications
constexpr int kExitSignalBase = 128;    // ended by SIGINT or SIGTERM: 128 + the signal's number
