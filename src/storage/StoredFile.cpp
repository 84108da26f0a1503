#include "storage/StoredFile.h"

#include "platform/TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

// Upper bound on the numbered names tried, so a directory full of them cannot hang the save.
constexpr int maxCopyNumber = 9999;

// The name of a copy of these bytes beside the file: an earlier copy with the same bytes, or
// a new one under the first free number. Empty when none could be made.
QString keepCopy(const QString& path, const QByteArray& bytes) {
    // The copy is as private as the file, and always readable by its owner.
    const int mode = (filePermissions(path) & 0666) | 0400;
    for (int number = 1; number <= maxCopyNumber; ++number) {
        const QString candidate = path + u'.' + QString::number(number);
        const QFileInfo info(candidate);
        if (info.exists() || info.isSymLink()) {
            const FileBytes earlier = readFileBytes(candidate);
            if (!info.isSymLink() && earlier.status == FileBytes::Status::Read &&
                earlier.bytes == bytes)
                return info.fileName();
            continue;
        }
        if (writeNewFile(candidate, bytes, mode))
            return info.fileName();
        if (QFileInfo(candidate).exists())
            continue;
        return {};
    }
    return {};
}

} // namespace

StoredFile::StoredFile(QString path) : filePath(std::move(path)) {}

std::optional<QString> StoredFile::read() {
    found.clear();
    const FileBytes file = readFileBytes(filePath);
    if (file.status == FileBytes::Status::Missing)
        return std::nullopt;
    std::optional<DecodedText> decoded;
    if (file.status == FileBytes::Status::Read)
        decoded = decodeJoinedLines(file.bytes);
    if (!decoded) {
        refuse();
        return std::nullopt;
    }
    if (decoded->legacy)
        note(Finding::ShiftJis);
    return std::move(decoded->text);
}

void StoredFile::refuse() {
    note(Finding::Unreadable);
}

bool StoredFile::isUnreadable() const {
    return std::find(found.begin(), found.end(), Finding::Unreadable) != found.end();
}

void StoredFile::noteExtraText() {
    note(Finding::ExtraText);
}

void StoredFile::note(Finding finding) {
    found.push_back(finding);
    copyOwed = true;
}

bool StoredFile::keepOriginal() {
    if (!copyOwed)
        return true;
    const FileBytes file = readFileBytes(filePath);
    if (file.status == FileBytes::Status::Missing) {
        copyOwed = false;
        return true;
    }
    if (file.status != FileBytes::Status::Read)
        return false;
    kept = keepCopy(filePath, file.bytes);
    copyOwed = kept.isEmpty();
    return !copyOwed;
}

StoredFile::WriteResult StoredFile::write(const QString& text) {
    if (!keepOriginal())
        return WriteResult::OriginalNotKept;
    return writeWholeFile(filePath, text) ? WriteResult::Written : WriteResult::NotWritten;
}
