#pragma once

#include <QString>
#include <optional>
#include <vector>

// One of the user's data files. Bytes that were not read as our own UTF-8 text (a file that
// could not be read or decoded, whose text the caller could not use or not use whole, or one
// in Shift_JIS) are kept in a copy beside the file, "<name>.1" or the next free number, before
// any write replaces them. An earlier copy holding the same bytes is used again.
class StoredFile {
public:
    // What the last read found that the next save would lose, so the user must hear of it.
    enum class Finding {
        Unreadable, // the file could not be read or used at all
        ShiftJis,   // the text was taken for Shift_JIS
        ExtraText,  // text beyond what the format holds, which a save drops
    };

    // How a write ended. After OriginalNotKept the file is untouched; after NotWritten it is as
    // it was, unless putting the old bytes back failed as well.
    enum class WriteResult {
        Written,
        OriginalNotKept, // the copy of bytes the write would lose could not be made
        NotWritten,      // the file could not be replaced whole
    };

    explicit StoredFile(QString path);

    const QString& path() const { return filePath; }

    // The decoded text with its lines joined; no value when the file is missing, cannot be
    // read or decodes neither as UTF-8 nor as Shift_JIS.
    std::optional<QString> read();
    // The caller could not use the text read: the file counts as unreadable.
    void refuse();
    // The caller used the text read but not all of it.
    void noteExtraText();
    // Whether the last read found a file but could not use it.
    bool isUnreadable() const;
    const std::vector<Finding>& findings() const { return found; }

    // Makes the copy if one is still owed; false when it is owed and cannot be made now.
    bool keepOriginal();
    // Name of the copy beside the file, empty while none has been made.
    const QString& keptCopy() const { return kept; }

    // Replaces the file with the text, keeping its original first.
    WriteResult write(const QString& text);

private:
    void note(Finding finding);

    const QString filePath;
    std::vector<Finding> found;
    bool copyOwed = false;
    QString kept;
};
