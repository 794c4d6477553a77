#include "platform/Seams.h"

#include <QtGlobal>
#include <atomic>

namespace {
template <typename T> T& get(const std::atomic<T*>& slot, const char* name)
{
    T* p = slot.load(std::memory_order_acquire);
    if (!p)
        qFatal("seam '%s' used before it was installed", name);
    return *p;
}

std::atomic<Clock*> g_clock{nullptr};
std::atomic<MessageBoxes*> g_boxes{nullptr};
std::atomic<Sound*> g_sound{nullptr};
std::atomic<Shell*> g_shell{nullptr};
std::atomic<Power*> g_power{nullptr};
std::atomic<SystemClock*> g_systemClock{nullptr};
std::atomic<AutostartEntry*> g_autostart{nullptr};
std::atomic<ShellFolders*> g_shellFolders{nullptr};
std::atomic<AsyncSocketFactory*> g_sockets{nullptr};
std::atomic<Notifications*> g_notifications{nullptr};
std::atomic<IdleMonitor*> g_idle{nullptr};
std::atomic<SecretStore*> g_secrets{nullptr};
} // namespace

namespace seams {

Clock& clock()
{
    return get(g_clock, "Clock");
}
MessageBoxes& messageBoxes()
{
    return get(g_boxes, "MessageBoxes");
}
Sound& sound()
{
    return get(g_sound, "Sound");
}
Shell& shell()
{
    return get(g_shell, "Shell");
}
Power& power()
{
    return get(g_power, "Power");
}
SystemClock& systemClock()
{
    return get(g_systemClock, "SystemClock");
}
AutostartEntry& autostart()
{
    return get(g_autostart, "AutostartEntry");
}
ShellFolders& shellFolders()
{
    return get(g_shellFolders, "ShellFolders");
}
AsyncSocketFactory& sockets()
{
    return get(g_sockets, "AsyncSocket");
}
Notifications& notifications()
{
    return get(g_notifications, "Notifications");
}
IdleMonitor& idleMonitor()
{
    return get(g_idle, "IdleMonitor");
}
SecretStore& secretStore()
{
    return get(g_secrets, "SecretStore");
}

void setClock(Clock* p)
{
    g_clock.store(p, std::memory_order_release);
}
void setMessageBoxes(MessageBoxes* p)
{
    g_boxes.store(p, std::memory_order_release);
}
void setSound(Sound* p)
{
    g_sound.store(p, std::memory_order_release);
}
void setShell(Shell* p)
{
    g_shell.store(p, std::memory_order_release);
}
void setPower(Power* p)
{
    g_power.store(p, std::memory_order_release);
}
void setSystemClock(SystemClock* p)
{
    g_systemClock.store(p, std::memory_order_release);
}
void setAutostart(AutostartEntry* p)
{
    g_autostart.store(p, std::memory_order_release);
}
void setShellFolders(ShellFolders* p)
{
    g_shellFolders.store(p, std::memory_order_release);
}
void setSockets(AsyncSocketFactory* p)
{
    g_sockets.store(p, std::memory_order_release);
}
void setNotifications(Notifications* p)
{
    g_notifications.store(p, std::memory_order_release);
}
void setIdleMonitor(IdleMonitor* p)
{
    g_idle.store(p, std::memory_order_release);
}
void setSecretStore(SecretStore* p)
{
    g_secrets.store(p, std::memory_order_release);
}

} // namespace seams
