#pragma once

#include <QtGlobal>
#include <curl/curl.h>

// The time of a file:// page: the modification time of the file its parsed address names, in
// whole seconds as for FTP, read without opening the file, so that a FIFO or a device can
// never hold the checking thread. Anything but a regular file has no time (-1); a file that
// cannot be looked at is a failure (-2).
qint64 localFileTime(CURLU* url);
