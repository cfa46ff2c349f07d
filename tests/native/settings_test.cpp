#include "settings/Settings.h"

#include <gtest/gtest.h>

namespace {

lv::SettingsDefaults Defaults() {
    lv::SettingsDefaults d;
    d.soundFile = "C:\\Lumivale\\msg.wav";
    d.x = 1132;
    d.y = 229;
    return d;
}

TEST(Settings, AnEmptyFileGivesEveryDefault) {
    lv::Settings s = lv::ReadSettings("", Defaults());
    EXPECT_FALSE(s.StartHide);
    EXPECT_EQ(s.SoundFile, "C:\\Lumivale\\msg.wav");
    EXPECT_TRUE(s.EnableSound);
    EXPECT_TRUE(s.AnimateWindow);
    EXPECT_TRUE(s.EnableHotkey);
    EXPECT_EQ(s.HotKey, 0);
    EXPECT_EQ(s.X, 1132);
    EXPECT_EQ(s.Y, 229);
}

// Booleans are integers; text that is no number gives the default, whatever the default is.
TEST(Settings, ValuesAreReadAsTheProfileFunctionsReadThem) {
    lv::Settings s = lv::ReadSettings("[options]\r\n"
                                      "  EnableSound = yes \r\n"
                                      "StartHide=yes\r\n"
                                      "AnimateWindow=2\r\n"
                                      "enablehotkey=0\r\n"
                                      "HotKey=114753\r\n"
                                      "SoundFile= \"D:\\声音\\叮.wav\" \r\n"
                                      "[Position]\r\nX=0x10\r\nY=-40\r\n"
                                      "[Options]\r\nEnableSound=0\r\n",
                                      Defaults());
    EXPECT_TRUE(s.EnableSound) << "yes is no number: the default (true)";
    EXPECT_FALSE(s.StartHide) << "yes is no number: the default (false)";
    EXPECT_TRUE(s.AnimateWindow);
    EXPECT_FALSE(s.EnableHotkey);
    EXPECT_EQ(s.HotKey, 114753 % 65536) << "a stored value keeps its low 16 bits";
    EXPECT_EQ(s.SoundFile, "D:\\声音\\叮.wav");
    EXPECT_EQ(s.X, 16);
    EXPECT_EQ(s.Y, -40);
}

TEST(Settings, HotKeyValuesAbsentSectionsAndGarbageBytes) {
    struct Case {
        const char* value;
        uint16_t hotKey;
    } cases[] = {{"yes", 0}, {"0", 0}, {"2", 2}, {"0x1F", 0x1F}, {"70000", 4464}, {"-1", 0xFFFF}};
    for (const Case& c : cases) {
        std::string file = std::string("[Options]\r\nHotKey=") + c.value + "\r\n";
        EXPECT_EQ(lv::ReadSettings(file, Defaults()).HotKey, c.hotKey) << c.value;
    }
    // Keys under another section, or bytes that are no INI file at all: every default.
    for (std::string file : {std::string("[Option]\r\nEnableSound=0\r\nHotKey=5\r\n"),
                             std::string("\x00\xFF\xFE[\r\n=\x81\x40\n\n[[Options\r", 14)}) {
        lv::Settings s = lv::ReadSettings(file, Defaults());
        EXPECT_TRUE(s.EnableSound);
        EXPECT_EQ(s.HotKey, 0);
        EXPECT_EQ(s.X, 1132);
    }
}

// A save writes only its own group, keeps every other line, and what it wrote reads back.
TEST(Settings, ASaveSetsItsGroupAndKeepsEverythingElse) {
    std::string file = "; mine\r\n[Other]\r\nKeep=1\r\n[Options]\r\nEnableSound=0\r\n";
    lv::Settings s = lv::ReadSettings(file, Defaults());
    s.X = -7;
    s.Y = 3000;
    s.EnableSound = true; // not saved with the position
    std::string afterClose = lv::WriteSettings(file, s, lv::kPositionGroup);
    lv::Settings back = lv::ReadSettings(afterClose, Defaults());
    EXPECT_EQ(back.X, -7);
    EXPECT_EQ(back.Y, 3000);
    EXPECT_FALSE(back.EnableSound);
    EXPECT_NE(afterClose.find("; mine\r\n[Other]\r\nKeep=1\r\n"), std::string::npos);
    EXPECT_EQ(afterClose.find("StartHide"), std::string::npos);

    s.StartHide = true;
    s.SoundFile = "E:\\新.wav";
    s.AnimateWindow = false;
    s.EnableHotkey = false;
    s.HotKey = 0xC041;
    std::string afterOk = lv::WriteSettings(afterClose, s, lv::kOptionsGroup);
    back = lv::ReadSettings(afterOk, Defaults());
    EXPECT_TRUE(back.StartHide);
    EXPECT_EQ(back.SoundFile, "E:\\新.wav");
    EXPECT_TRUE(back.EnableSound);
    EXPECT_FALSE(back.AnimateWindow);
    EXPECT_FALSE(back.EnableHotkey);
    EXPECT_EQ(back.HotKey, 0xC041);
    EXPECT_NE(afterOk.find("HotKey=49217\r\n"), std::string::npos) << "unsigned decimal";
    EXPECT_EQ(back.X, -7);
}

// The notice settings travel with the dialog's options; what the service watch remembers
// travels alone, so neither a dialog OK nor a window close can forget or invent it.
TEST(Settings, NoticeOptionsAndWhatTheServiceWatchRemembersAreSavedByTheirOwnGroups) {
    lv::Settings s = lv::ReadSettings("", Defaults());
    EXPECT_TRUE(s.ArrivalNotice);
    EXPECT_FALSE(s.ShowReceived);
    EXPECT_FALSE(s.Port139Told);

    s.ArrivalNotice = false;
    s.ShowReceived = true;
    s.Port139Told = true;
    std::string afterOk = lv::WriteSettings("", s, lv::kOptionsGroup | lv::kPositionGroup);
    lv::Settings back = lv::ReadSettings(afterOk, Defaults());
    EXPECT_FALSE(back.ArrivalNotice);
    EXPECT_TRUE(back.ShowReceived);
    EXPECT_FALSE(back.Port139Told);

    std::string told = lv::WriteSettings(afterOk, s, lv::kServiceGroup);
    back = lv::ReadSettings(told, Defaults());
    EXPECT_TRUE(back.Port139Told);
    EXPECT_FALSE(back.ArrivalNotice);
    s.Port139Told = false; // a later OK with a stale copy of the settings
    EXPECT_TRUE(
        lv::ReadSettings(lv::WriteSettings(told, s, lv::kOptionsGroup), Defaults()).Port139Told);
}

} // namespace
