#pragma once

#include <QString>

// Puts the program's own help page into the working directory when the user has none there.
// The copy has line feeds only, the last line ended too; an existing file is never touched.
// False when nothing was written.
bool installHelpFile(const QString& sourcePath, const QString& targetPath);
