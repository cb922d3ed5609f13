#include <signal.h>

#include "platform/Interrupts.h"

namespace platform {
namespace {

volatile sig_atomic_t g_signal = 0;

void OnInterrupt(int signal) {
  g_signal = signal;
  // The next one is not caught: a run that does not stop can still be ended.
  struct sigaction restore {};
  restore.sa_handler = SIG_DFL;
  sigaction(signal, &restore, nullptr);
}

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int InterruptSignal() {
  return g_signal;
}

}  // namespace platform
