#pragma once

#include <QList>
#include <QString>

// Show commands of the Windows shell, kept because callers pass them through.
enum ShowCommand { kSwHide = 0, kSwShowNormal = 1, kSwShowMaximized = 3 };

class Shell
{
public:
    virtual ~Shell() = default;
    // Opens a web address or file with the desktop's default handler. Returns a value
    // greater than 32 on success, else one of the ShellExecute error codes.
    virtual int open(const QString& target, int showCommand) = 0;
    // Starts the system's screen saver; false if it could not be started.
    virtual bool startScreenSaver() = 0;
};

class FakeShell final : public Shell
{
public:
    struct Call
    {
        QString target;
        int showCommand = 0;
    };
    int open(const QString& target, int showCommand) override
    {
        m_opened.append({target, showCommand});
        return m_openResult;
    }
    bool startScreenSaver() override
    {
        ++m_screenSavers;
        return m_screenSaverResult;
    }

    void setOpenResult(int r) { m_openResult = r; }
    void setScreenSaverResult(bool r) { m_screenSaverResult = r; }
    const QList<Call>& opened() const { return m_opened; }
    int screenSaverStarts() const { return m_screenSavers; }

private:
    QList<Call> m_opened;
    int m_openResult = 42;
    bool m_screenSaverResult = true;
    int m_screenSavers = 0;
};
