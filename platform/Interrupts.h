// SIGINT and SIGTERM for the command-line tool: caught, so that a running
// operation can be cancelled and clean up its temporary files.
#pragma once

namespace platform {

// Installs the handlers (once); a second signal of either kind ends the process
// at once, as usual.
void CatchInterrupts();
// The signal that arrived since CatchInterrupts, or 0.
int InterruptSignal();

}  // namespace platform
