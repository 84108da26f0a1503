#include "storage/DataFiles.h"

#include "platform/TextFile.h"

void DataFiles::removeInterruptedSaves() {
    ::removeInterruptedSaves(settingFile.path());
    ::removeInterruptedSaves(groupFile.path());
}

std::optional<SettingFile::Settings> DataFiles::readSetting() {
    const std::optional<QString> text = settingFile.read();
    if (!text)
        return std::nullopt;
    bool extraText = false;
    SettingFile::Settings settings = SettingFile::parse(*text, &extraText);
    if (extraText)
        settingFile.noteExtraText();
    return settings;
}

std::optional<std::vector<GroupFile::PageRecord>> DataFiles::readGroup() {
    const std::optional<QString> text = groupFile.read();
    if (!text)
        return std::nullopt;
    bool extraText = false;
    std::optional<std::vector<GroupFile::PageRecord>> records = GroupFile::parse(*text, &extraText);
    // A malformed list is kept whole rather than half read.
    if (!records)
        groupFile.refuse();
    else if (extraText)
        groupFile.noteExtraText();
    return records;
}

std::vector<DataFiles::Notice> DataFiles::keepOriginals() {
    std::vector<Notice> notices;
    for (StoredFile* file : {&settingFile, &groupFile}) {
        if (file->findings().empty())
            continue;
        file->keepOriginal();
        for (const Finding finding : file->findings())
            notices.push_back({file->path(), finding, file->keptCopy()});
    }
    return notices;
}

DataFiles::SaveResult DataFiles::saveSetting(const SettingFile::Settings& settings) {
    return save(settingFile, SettingFile::format(settings));
}

DataFiles::SaveResult DataFiles::saveGroup(const std::vector<GroupFile::PageRecord>& pages) {
    return save(groupFile, GroupFile::format(pages));
}

DataFiles::SaveResult DataFiles::save(StoredFile& file, const QString& text) {
    const SaveResult result{file.path(), file.write(text)};
    if (quitStarted)
        quitSaveFailed = quitSaveFailed || !result.saved();
    // What could not be saved before has been saved since: a quit that fails again is turned
    // down again.
    else if (result.saved())
        quitRefused = false;
    return result;
}

void DataFiles::beginQuit() {
    quitStarted = true;
    quitSaveFailed = false;
}

bool DataFiles::endQuit() {
    if (!quitSaveFailed || quitRefused)
        return true;
    quitRefused = true;
    quitStarted = false;
    return false;
}
