#pragma once

#include "storage/GroupFile.h"
#include "storage/SettingFile.h"
#include "storage/StoredFile.h"

#include <QString>
#include <optional>
#include <vector>

// The page list and the settings in the working directory, and everything the program does
// with them: reads that take what they can, copies of the originals that a save would lose,
// checked saves, and the rule that turns down a quit whose saves failed. Results are values;
// the window makes its alerts from them.
class DataFiles {
public:
    using Finding = StoredFile::Finding;

    // What a read found that a save would lose, and where the original bytes are now.
    struct Notice {
        QString file;
        Finding finding;
        QString keptCopy; // empty when no copy could be made: the file is left as it is
    };

    struct SaveResult {
        QString file;
        StoredFile::WriteResult result;

        bool saved() const { return result == StoredFile::WriteResult::Written; }
    };

    // Removes what saves cut short by a crash or a kill left beside the files.
    void removeInterruptedSaves();

    // No value when the file is missing or cannot be read at all: the caller keeps what it has.
    std::optional<SettingFile::Settings> readSetting();
    // No value also when the text breaks the format.
    std::optional<std::vector<GroupFile::PageRecord>> readGroup();
    // Copies aside every file that the last reads could not take whole, so the user learns at
    // once where its contents are; one notice for each thing found, the settings first.
    std::vector<Notice> keepOriginals();

    SaveResult saveSetting(const SettingFile::Settings& settings);
    SaveResult saveGroup(const std::vector<GroupFile::PageRecord>& pages);

    // A quit saves through the calls above between beginQuit and endQuit. A quit whose saves
    // failed is turned down, so the user can make room and quit again; the next one ends the
    // program whatever its saves do, unless a save worked in between.
    void beginQuit();
    // True when the program may end; a quit turned down is over.
    bool endQuit();
    // Between beginQuit and a quit turned down, and for good once a quit may end.
    bool quitting() const { return quitStarted; }

private:
    SaveResult save(StoredFile& file, const QString& text);

    StoredFile settingFile{QString::fromLatin1(SettingFile::fileName)};
    StoredFile groupFile{QString::fromLatin1(GroupFile::fileName)};
    bool quitStarted = false;
    bool quitSaveFailed = false;
    // A quit was turned down and nothing has been saved since.
    bool quitRefused = false;
};
