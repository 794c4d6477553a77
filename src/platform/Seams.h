#pragma once

class Clock;
class MessageBoxes;
class Sound;
class Shell;
class Power;
class SystemClock;
class AutostartEntry;
class ShellFolders;
class AsyncSocketFactory;
class Notifications;
class IdleMonitor;
class SecretStore;

// The program's seams to the operating system. main() installs the real
// implementations, tests install fakes; nothing else talks to the OS for these.
// Pointers are not owned. Using a seam that was never installed aborts with a
// message, so that a test can never fall through to the real system.
namespace seams {

Clock& clock();
MessageBoxes& messageBoxes();
Sound& sound();
Shell& shell();
Power& power();
SystemClock& systemClock();
AutostartEntry& autostart();
ShellFolders& shellFolders();
AsyncSocketFactory& sockets();
Notifications& notifications();
IdleMonitor& idleMonitor();
SecretStore& secretStore();

void setClock(Clock* p);
void setMessageBoxes(MessageBoxes* p);
void setSound(Sound* p);
void setShell(Shell* p);
void setPower(Power* p);
void setSystemClock(SystemClock* p);
void setAutostart(AutostartEntry* p);
void setShellFolders(ShellFolders* p);
void setSockets(AsyncSocketFactory* p);
void setNotifications(Notifications* p);
void setIdleMonitor(IdleMonitor* p);
void setSecretStore(SecretStore* p);

} // namespace seams
