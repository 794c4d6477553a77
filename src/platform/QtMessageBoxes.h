#pragma once

#include "platform/MessageBoxes.h"

// Real message boxes: QMessageBox run modally, buttons in the user's language.
class QtMessageBoxes final : public MessageBoxes
{
public:
    MbResult show(const MessageBoxRequest& request) override;
};
