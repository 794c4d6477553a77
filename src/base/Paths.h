#pragma once

#include <QString>

// The program folder is the folder of the running executable, computed afresh
// at every use; the data folder myTolva lies beside it.
QString GetProgramFolder();

QString DataFolderPath();   // <program folder>/myTolva
QString DatabaseFilePath(); // <program folder>/myTolva/tolva.dat
QString BackupFilePath();   // <program folder>/myTolva/tolvaBak.dat
QString SettingsFilePath(); // <program folder>/myTolva/Settings.ini

// Relative names inside the program folder.
inline constexpr const char kDatabaseRelative[] = "myTolva/tolva.dat";

// Tests point the program at a temporary folder; an empty text restores the
// executable's folder. Never used by the program itself.
void SetProgramFolderForTesting(const QString& folder);
// Tests stand in for the path of the running executable, from which the
// program folder is then derived; an empty text restores /proc/self/exe.
// A program folder set above takes precedence.
void SetExecutablePathForTesting(const QString& executablePath);

// The folder of an executable path: the text before its last separator, or the
// empty text when it has none.
QString FolderOfExecutable(const QString& executablePath);
