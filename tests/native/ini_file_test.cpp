#include "framework/IniFile.h"

#include <gtest/gtest.h>

using lv::IniData;

TEST(IniFile, ReadsLikeThePrivateProfileFunctions) {
    IniData ini("[Options]\r\n"
                "  StartHide = 1 \r\n"
                "enablesound=yes\r\n"
                "AnimateWindow=2\r\n"
                "HotKey=0x4141\r\n"
                "HotKey=7\r\n"
                "Neg=-5\r\n"
                "SoundFile=\"C:\\a b\\msg.wav\"\r\n"
                "[options]\r\n"
                "Other=9\r\n"
                "[Position]\n"
                "X=100\n"
                "Y=abc\n");
    EXPECT_TRUE(ini.ReadBool("OPTIONS", "starthide", false));
    EXPECT_TRUE(ini.ReadBool("Options", "EnableSound", true)) << "not a number: default";
    EXPECT_FALSE(ini.ReadBool("Options", "EnableSound", false)) << "not a number: default";
    EXPECT_TRUE(ini.ReadBool("Options", "AnimateWindow", false)) << "any non-zero is true";
    EXPECT_EQ(ini.ReadInteger("Options", "HotKey", 0), 0x4141) << "first occurrence wins";
    EXPECT_EQ(ini.ReadInteger("Options", "Neg", 0), -5);
    EXPECT_EQ(ini.ReadString("Options", "SoundFile", ""), "C:\\a b\\msg.wav");
    EXPECT_EQ(ini.ReadInteger("Options", "Other", 3), 3) << "second section of a name ignored";
    EXPECT_EQ(ini.ReadInteger("Position", "X", 0), 100);
    EXPECT_EQ(ini.ReadInteger("Position", "Y", 42), 42);
    EXPECT_EQ(ini.ReadInteger("Position", "Z", 42), 42);
    EXPECT_EQ(ini.ReadString("Nowhere", "X", "d"), "d");
}

TEST(IniFile, MissingFileGivesDefaults) {
    IniData ini("");
    EXPECT_TRUE(ini.ReadBool("Options", "EnableSound", true));
    EXPECT_EQ(ini.ReadInteger("Position", "X", -7), -7);
    EXPECT_EQ(ini.ReadString("Options", "SoundFile", "msg.wav"), "msg.wav");
}

TEST(IniFile, IntegerTexts) {
    EXPECT_EQ(lv::ParseIniInteger("0x1F"), 31);
    EXPECT_EQ(lv::ParseIniInteger("0XfF"), 255);
    EXPECT_EQ(lv::ParseIniInteger("0xFFFFFFFF"), -1);
    EXPECT_EQ(lv::ParseIniInteger("2147483647"), 2147483647);
    EXPECT_EQ(lv::ParseIniInteger("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(lv::ParseIniInteger("2147483648"), std::nullopt);
    EXPECT_EQ(lv::ParseIniInteger("0x100000000"), std::nullopt);
    EXPECT_EQ(lv::ParseIniInteger("12a"), std::nullopt);
    EXPECT_EQ(lv::ParseIniInteger("0x"), std::nullopt);
    EXPECT_EQ(lv::ParseIniInteger(""), std::nullopt);
}

TEST(IniFile, WritesReadBackIdentically) {
    IniData ini("; settings\r\n[Options]\r\nStartHide=0\r\n\r\n[Other]\r\nA=1\r\n");
    ini.WriteString("options", "STARTHIDE", "1");
    ini.WriteInteger("Options", "HotKey", 16449);
    ini.WriteInteger("Position", "X", -20);
    ini.WriteString("Options", "SoundFile", "D:\\声音\\msg.wav");
    IniData back(ini.Bytes());
    EXPECT_EQ(back.ReadInteger("Options", "StartHide", 5), 1);
    EXPECT_EQ(back.ReadInteger("Options", "HotKey", 0), 16449);
    EXPECT_EQ(back.ReadInteger("Position", "X", 0), -20);
    EXPECT_EQ(back.ReadString("Options", "SoundFile", ""), "D:\\声音\\msg.wav");
    EXPECT_EQ(back.ReadInteger("Other", "A", 0), 1);
    // The key stays where it was and is not duplicated.
    std::string bytes = ini.Bytes();
    EXPECT_EQ(bytes.find("StartHide=1\r\n"), bytes.find("StartHide"));
    EXPECT_EQ(bytes.find("StartHide", bytes.find("StartHide") + 1), std::string::npos);
    EXPECT_LT(bytes.find("HotKey"), bytes.find("[Other]")) << "new key goes into its section";
}
