#pragma once

#include "Common/File/ProgramNames.h"

namespace support {

// The names the saves of the File tests give the files they make, as the program gives its own.
inline const file::ProgramNames kFileNames{".vellorin-", QStringLiteral("vellorin"), ".xml"};

} // namespace support
