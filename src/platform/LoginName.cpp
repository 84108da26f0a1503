#include "platform/LoginName.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

QString loginName() {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_name)
        return QStringLiteral("null");
    return QString::fromLocal8Bit(found->pw_name);
}
