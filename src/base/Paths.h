#pragma once

#include <QString>

// The program folder is the folder of the running executable, computed afresh
// at every use.
QString GetProgramFolder();

// The data folder myTolva, in one of two layouts, chosen afresh at every use:
// - portable: a myTolva folder beside the executable (a build folder, a copy
//   unpacked anywhere) is the data folder, so such a folder is a complete
//   installation;
// - installed: the package ships no myTolva, and each user keeps their own in
//   $XDG_DATA_HOME/Tolva/myTolva, so that on a machine of several users no one
//   reads or changes another's reminders.
bool IsPortableLayout();    // a myTolva folder lies beside the executable
QString DataRootFolder();   // the folder holding myTolva: program folder or $XDG_DATA_HOME/Tolva
QString DataFolderPath();   // <data root>/myTolva
QString DatabaseFilePath(); // <data root>/myTolva/tolva.dat
QString BackupFilePath();   // <data root>/myTolva/tolvaBak.dat
QString SettingsFilePath(); // <data root>/myTolva/Settings.ini

// Relative names inside the data root; the store joins this one to DataRootFolder().
inline constexpr const char kDatabaseRelative[] = "myTolva/tolva.dat";

// The empty database an installed program ships, found relative to the
// executable (<prefix>/bin/tolva beside <prefix>/share/tolva/tolva.dat), so
// that a package unpacked anywhere finds its own.
QString ShippedDatabasePath();

// At the first start of an installed program: makes the user's data folder
// (mode 0700, the folders above it that are missing too) holding a copy of the
// shipped database (0600). An existing data folder is never touched, whatever
// it holds, and the shipped database is only read. The folder appears whole or
// not at all: it is filled under a temporary name and then renamed into place.
// Does nothing in the portable layout or when nothing is shipped. True when the
// data folder was made.
bool CreateUserDataFolder();

// The user's XDG base folders: the variable when it holds an absolute path,
// else the default below the home folder (~/.local/share, ~/.config).
QString XdgDataHome();
QString XdgConfigHome();

// Tests point the program at a temporary folder; an empty text restores the
// executable's folder. Never used by the program itself.
void SetProgramFolderForTesting(const QString& folder);
// Tests stand in for the running executable with SetModuleFilePathForTesting
// (base/ModulePath.h); a program folder set above takes precedence.

// The folder of an executable path: the text before its last separator, or the
// empty text when it has none.
QString FolderOfExecutable(const QString& executablePath);
