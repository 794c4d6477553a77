#pragma once

class QCoreApplication;

// The interface is Chinese whatever the user's locale, as on the Chinese desktop
// the program was made for: the default locale (the picker's weekday, the time
// dialog's short date) is Chinese (China), and Qt's own texts (the standard
// buttons of the message boxes: 是, 否, 确定) come from Qt's Chinese translation.
// Returns whether that translation was found; without it the standard buttons
// stay in English and everything else is unchanged.
bool UseChineseInterface(QCoreApplication& app);
