#pragma once

#include "platform/Shell.h"

// Opens addresses with the desktop's default handler (xdg-open through Qt) and
// starts the screen saver with xdg-screensaver.
class DesktopShell final : public Shell
{
public:
    int open(const QString& target, int showCommand) override;
    bool startScreenSaver() override;
};
