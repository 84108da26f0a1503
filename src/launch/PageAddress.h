#pragma once

#include <QString>
#include <optional>

// The form of a page's address that the browser is given: only a well-formed absolute http,
// https or ftp address with a host, or a file address with an absolute path, parsed strictly
// and fully encoded. So it never starts with a blank or "-", which a browser would take for
// one of its options. No value for anything else.
std::optional<QString> browserAddress(const QString& pageUrl);
