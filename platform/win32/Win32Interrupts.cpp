// Ctrl+C, Ctrl+Break and closing the console, as SIGINT and SIGTERM.
#include <csignal>

#include "platform/Interrupts.h"
#include "platform/win32/WindowsApi.h"

namespace platform {
namespace {

volatile LONG g_signal = 0;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  // The second one is not caught: a run that does not stop can still be ended.
  if (g_signal != 0) return FALSE;
  InterlockedExchange(&g_signal, event == CTRL_C_EVENT ? SIGINT : SIGTERM);
  return TRUE;
}

}  // namespace

void CatchInterrupts() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

int InterruptSignal() { return static_cast<int>(g_signal); }

}  // namespace platform
