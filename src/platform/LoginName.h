#pragma once

#include <QString>

// The login name of the user running the program, or "null" when the system knows none.
QString loginName();
