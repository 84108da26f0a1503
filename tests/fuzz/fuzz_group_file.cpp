// Whatever the page list reader accepts must come back unchanged from a save: the same records
// when read again, and the same bytes when saved once more.
#include "platform/TextFile.h"
#include "storage/GroupFile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto decoded = decodeJoinedLines(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    const auto records = decoded ? GroupFile::parse(decoded->text) : std::nullopt;
    if (!records)
        return 0;

    const QByteArray saved = GroupFile::format(*records).toUtf8();
    const auto savedText = decodeJoinedLines(saved);
    if (!savedText || savedText->legacy)
        std::abort();
    const auto reread = GroupFile::parse(savedText->text);
    if (!reread || *reread != *records || GroupFile::format(*reread).toUtf8() != saved)
        std::abort();
    return 0;
}
