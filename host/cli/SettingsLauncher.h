// --settings: the settings pane is a program of its own, the one that loads GTK;
// --daemon, the idle daemon, one that loads none of the saver's libraries; --record,
// the one that loads FFmpeg's; and --lock, the lock screen, the one that holds a password.
#pragma once

namespace zorvan::host {

// Runs the settings program (libexec/zorvan/zorvan-settings beside the program's bin/)
// in this process, with the same arguments. Returns only on failure, with the exit
// status.
int runSettingsProgram(char** argv);

// The same for the idle daemon (libexec/zorvan/zorvan-daemon): --daemon, --activate and
// --deactivate.
int runDaemonProgram(char** argv);

// The same for videos (libexec/zorvan/zorvan-record): --record.
int runRecordProgram(char** argv);

// The same for the lock screen (libexec/zorvan/zorvan-lock): --lock.
int runLockProgram(char** argv);

}  // namespace zorvan::host
