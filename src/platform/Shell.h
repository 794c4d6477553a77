#pragma once

#include <QList>
#include <QString>

// How an opened page's window should show; callers pass them through, and the
// values are the customary SW_* numbers.
enum ShowCommand { kSwHide = 0, kSwShowNormal = 1, kSwShowMaximized = 3, kSwShow = 5 };

class Shell
{
public:
    virtual ~Shell() = default;
    // Opens a web address or file with the desktop's default handler. Returns a value
    // greater than 32 on success, else one of the ShellExecute error codes.
    virtual int open(const QString& target, int showCommand) = 0;
    // Starts the system's screen saver; false if it could not be started (the
    // tool missing, or its failure reported).
    virtual bool startScreenSaver() = 0;
    // The command line of the user's default web browser, with its placeholder for
    // the address (a desktop entry's Exec line); empty when none is known.
    virtual QString defaultBrowserCommand() { return QString(); }
    // Starts a program from a command line. Returns a value greater than 31 on
    // success, else 0 or an error code of WinExec (2 file not found, 11 bad format).
    virtual int runCommand(const QString& /*commandLine*/, int /*showCommand*/) { return 2; }
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
    QString defaultBrowserCommand() override
    {
        ++m_browserLookups;
        return m_browserCommand;
    }
    int runCommand(const QString& commandLine, int showCommand) override
    {
        m_commands.append({commandLine, showCommand});
        return m_runResult;
    }

    void setOpenResult(int r) { m_openResult = r; }
    void setScreenSaverResult(bool r) { m_screenSaverResult = r; }
    void setBrowserCommand(const QString& c) { m_browserCommand = c; }
    void setRunResult(int r) { m_runResult = r; }
    const QList<Call>& opened() const { return m_opened; }
    int screenSaverStarts() const { return m_screenSavers; }
    int browserLookups() const { return m_browserLookups; }
    // Command lines started, with their show commands.
    const QList<Call>& commands() const { return m_commands; }

private:
    QList<Call> m_opened;
    int m_openResult = 42;
    bool m_screenSaverResult = true;
    int m_screenSavers = 0;
    QString m_browserCommand;
    int m_runResult = 33;
    int m_browserLookups = 0;
    QList<Call> m_commands;
};
