#pragma once

#include <QString>

// Full path of the running executable (its module file name), read afresh at
// every use: the program may have been moved since it started.
QString GetModuleFilePath();

// Tests pretend the executable lies elsewhere; an empty text ends that. Never
// used by the program itself.
void SetModuleFilePathForTesting(const QString& path);
