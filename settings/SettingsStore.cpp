#include "settings/SettingsStore.h"

#include "framework/Exception.h"
#include "framework/Files.h"
#include "framework/Gbk.h"

namespace lv {

SettingsStore::SettingsStore() : path_(AppDirectory() + L"Lumivale.ini") {}

Settings SettingsStore::Load(const SettingsDefaults& defaults) const {
    FileRead read = ReadFileBounded(path_, kMaxBytes);
    return ReadSettings(read.status == ReadStatus::Ok ? read.bytes : std::string(), defaults);
}

void SettingsStore::Save(const Settings& settings, unsigned groups) const {
    // Held by a scanner for a moment: waited for, its other keys must not be lost.
    FileRead read = ReadFileBoundedWhenFree(path_, kMaxBytes);
    bool usable = read.status == ReadStatus::Ok || read.status == ReadStatus::Missing;
    if (!usable || !WriteFileAtomic(path_, WriteSettings(read.bytes, settings, groups)))
        throw Exception("Unable to write to " + ToGbk(path_));
}

} // namespace lv
