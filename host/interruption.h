// Ctrl-C, Ctrl-Break and a closing console end a run as a failure, never as a success: the host
// stops at the next period, removes what it was writing and exits with the shell's code for the
// signal. Under Wine SIGINT arrives as Ctrl-C, even without a console; without a handler of the
// program's own, Wine would end the program with exit code 0.
#pragma once

// Installs the handler; call once, early in main.
void WatchForInterruption();

// True once an interruption has come.
bool Interrupted();

// 130 for Ctrl-C or Ctrl-Break (SIGINT), 129 for a closing console, logoff or shutdown (SIGHUP);
// 0 while not interrupted.
int InterruptionExitCode();
