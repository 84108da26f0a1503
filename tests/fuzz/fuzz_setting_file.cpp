// Whatever the settings reader makes of a file must come back unchanged from a save: the same
// settings when read again, and the same bytes when saved once more.
#include "platform/TextFile.h"
#include "storage/SettingFile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto decoded = decodeJoinedLines(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!decoded)
        return 0;
    const SettingFile::Settings settings = SettingFile::parse(decoded->text);

    const QByteArray saved = SettingFile::format(settings).toUtf8();
    const auto savedText = decodeJoinedLines(saved);
    if (!savedText || savedText->legacy)
        std::abort();
    const SettingFile::Settings reread = SettingFile::parse(savedText->text);
    if (reread != settings || SettingFile::format(reread).toUtf8() != saved)
        std::abort();
    return 0;
}
