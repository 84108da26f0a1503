#pragma once

#include <QString>
#include <optional>

// One of the user's data files. Bytes that were not read as our own UTF-8 text (a file that
// could not be read or decoded, whose text the caller could not use, or one in Shift_JIS) are
// kept in a copy beside the file, "<name>.1" or the next free number, before any write
// replaces them. An earlier copy holding the same bytes is used again.
class StoredFile {
public:
    explicit StoredFile(QString path);

    const QString& path() const { return filePath; }

    // The decoded text with its lines joined; no value when the file is missing, cannot be
    // read or decodes neither as UTF-8 nor as Shift_JIS.
    std::optional<QString> read();
    // The caller could not use the text read: the file counts as unreadable.
    void refuse();
    // Whether the last read found a file but could not use it.
    bool isUnreadable() const { return unreadable; }

    // Makes the copy if one is still owed; false when it is owed and cannot be made now.
    bool keepOriginal();
    // Name of the copy beside the file, empty while none has been made.
    const QString& keptCopy() const { return kept; }

    // Replaces the file with the text, keeping its original first; false when either fails.
    bool write(const QString& text);

private:
    const QString filePath;
    bool unreadable = false;
    bool copyOwed = false;
    QString kept;
};
