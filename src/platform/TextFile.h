#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The data files are written as UTF-8 whatever the locale, so a title survives a run under
// LANG=C.

struct DecodedText {
    QString text;        // lines joined with nothing in between
    bool legacy = false; // the bytes were Shift_JIS, not UTF-8
};

// Decodes a data file and joins its lines (CR, LF and CR LF are all removed), without any
// byte-order mark in front. Bytes that are
// not UTF-8 but decode cleanly as Shift_JIS, as Japanese Windows machines wrote these files,
// are read as that. No value when neither decodes: such a file is left alone rather than
// rewritten with replacement characters.
std::optional<DecodedText> decodeJoinedLines(const QByteArray& bytes);

struct FileBytes {
    enum class Status { Read, Missing, Unreadable };
    Status status = Status::Missing;
    QByteArray bytes;
};

// The whole file; Unreadable when something exists under the name but cannot be read, and for
// anything but a regular file (a FIFO, socket or device), which is never opened.
FileBytes readFileBytes(const QString& path);

// Replaces the file with the text in UTF-8, whole or not at all: every write error, the final
// flush to the disk included, fails the save and leaves the previous file as it was. Where the
// directory takes no new file but the file itself is writable, the file is rewritten in place,
// its room reserved first and its old bytes put back should the write fail. A file the user may
// not write is never replaced; the new file keeps the old one's permission bits, and its owner
// and group as far as the user may set them. Links are followed as the kernel would follow them
// for the user in their folders.
bool writeWholeFile(const QString& path, const QString& text);

// The file's POSIX permission bits; 0600 when they cannot be had.
int filePermissions(const QString& path);

// Creates the file with these bytes and permissions; never replaces anything already there.
// On failure nothing is left behind.
bool writeNewFile(const QString& path, const QByteArray& bytes, int permissions);

// Removes the temporary files that saves of this file left when they were interrupted before
// the final rename. Only the exact names writeWholeFile creates are touched.
void removeInterruptedSaves(const QString& path);
