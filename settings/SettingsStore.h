#pragma once
// Lumivale.ini on disk: read with a size limit, written in one atomic replace, so a failed
// save never leaves a half-written file.
#include "settings/Settings.h"

#include <string>

namespace lv {

class SettingsStore {
  public:
    // The program's settings file, Lumivale.ini in its folder.
    SettingsStore();
    explicit SettingsStore(std::wstring path) : path_(std::move(path)) {}

    const std::wstring& Path() const { return path_; }
    // A missing, unreadable or oversized file reads as empty: every value its default.
    Settings Load(const SettingsDefaults& defaults) const;
    // Sets the keys of `groups` in the file as it is now and replaces it in one write.
    // Raises lv::Exception("Unable to write to <path>") when the file cannot be written, or
    // when it exists but cannot be read (its other keys would be lost).
    void Save(const Settings& settings, unsigned groups) const;

    // Far beyond any settings file of ours.
    static constexpr size_t kMaxBytes = 1 << 20;

  private:
    std::wstring path_;
};

} // namespace lv
