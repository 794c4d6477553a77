#pragma once

#include <QString>

// Whether an entry in a machine-wide folder (autostart, applications) may start
// program: every user's session runs such an entry, root's included, so whoever
// can change the file runs code there. True only when program names itself (no
// symbolic link on the way) and the file and every folder above it, up to /,
// belong to root or to this process's own user and may be written by no one
// else. A world-writable folder with the sticky bit (/tmp) counts as safe: others
// may add to it but never rename or remove what belongs to us.
bool MayStartMachineWide(const QString& program);
