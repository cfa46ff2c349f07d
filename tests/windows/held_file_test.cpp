#include "TestSupport.h"

#include "framework/Files.h"

#include <windows.h>

#include <thread>

namespace {

using lvtest::DataFolder;

// Another program (a scanner) with the file open without sharing for `ms`.
class Holder {
  public:
    Holder(const std::wstring& path, DWORD ms) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << "the holder opens the file";
        thread_ = std::thread([h, ms] {
            Sleep(ms);
            CloseHandle(h);
        });
    }
    ~Holder() { thread_.join(); }

  private:
    std::thread thread_;
};

DWORD Since(DWORD start) {
    return GetTickCount() - start;
}

TEST(HeldFile, AReplaceWaitsForTheHolderAndGivesUpAfterAboutTwoSeconds) {
    DataFolder dir;
    const std::wstring target = (dir / L"FRIENDS.DAT").wstring();
    dir.Write(L"FRIENDS.DAT", "old");
    {
        Holder scanner(target, 700);
        DWORD start = GetTickCount();
        EXPECT_TRUE(lv::WriteFileAtomic(target, "new"));
        EXPECT_GE(Since(start), 500u) << "the replace really met the held file";
        EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), "new");
    }
    {
        Holder scanner(target, 600);
        lv::FileRead read = lv::ReadFileBoundedWhenFree(target, 100);
        EXPECT_EQ(read.status, lv::ReadStatus::Ok);
        EXPECT_EQ(read.bytes, "new");
    }
    {
        Holder scanner(target, 3500);
        DWORD start = GetTickCount();
        EXPECT_FALSE(lv::WriteFileAtomic(target, "lost"));
        EXPECT_GE(Since(start), 1800u);
        EXPECT_LT(Since(start), 3200u) << "given up before the holder lets go";
        EXPECT_EQ(lv::ReadFileBounded(target, 100).status, lv::ReadStatus::Unreadable);
    }
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), "new") << "a failed replace leaves the old content";
    EXPECT_FALSE(dir.Exists(L"FRIENDS.DAT.tmp"));
}

// The main thread's wait runs handlers; one of them saves the same file again (the list
// changed meanwhile). The newer content must stay, and the older replace must not put its
// stale content over it afterwards.
TEST(HeldFile, TheMainThreadsWaitRunsHandlersAndANewerReplaceWins) {
    DataFolder dir;
    const std::wstring target = (dir / L"FRIENDS.DAT").wstring();
    dir.Write(L"FRIENDS.DAT", "old");
    int waits = 0;
    bool nested = false;
    lv::SetMainThreadFileWait([&](unsigned ms) {
        if (++waits == 2)
            nested = lv::WriteFileAtomic(target, "newer");
        Sleep(ms);
    });
    {
        Holder scanner(target, 500);
        EXPECT_TRUE(lv::WriteFileAtomic(target, "older"));
    }
    EXPECT_GE(waits, 2) << "the wait went through the main thread's function";
    EXPECT_TRUE(nested);
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), "newer");
    EXPECT_FALSE(dir.Exists(L"FRIENDS.DAT.tmp"));

    // The journal's append on the main thread cannot run handlers: it waits a moment only
    // and leaves the record to the log's writer; on another thread it waits for the holder.
    const std::wstring journal = (dir / L"receive.txt.journal").wstring();
    dir.Write(L"receive.txt.journal", "a");
    waits = 0;
    {
        Holder scanner(journal, 1200);
        DWORD start = GetTickCount();
        EXPECT_FALSE(lv::AppendFileFlushed(journal, "b"));
        EXPECT_LT(Since(start), 800u);
        EXPECT_EQ(waits, 0) << "no handler runs from inside an append";
        bool appended = false;
        std::thread([&] { appended = lv::AppendFileFlushed(journal, "c"); }).join();
        EXPECT_TRUE(appended);
    }
    EXPECT_EQ(dir.Read(L"receive.txt.journal"), "ac");
    lv::SetMainThreadFileWait({});
}

TEST(HeldFile, AFolderThatCannotBeWrittenIsToldFromOneThatCan) {
    DataFolder dir;
    EXPECT_TRUE(lv::CanCreateFileIn((dir / L"").wstring()));
    EXPECT_FALSE(dir.Exists(L"Lumivale.write-test.tmp")) << "the probe is removed again";
    EXPECT_FALSE(lv::CanCreateFileIn((dir / L"missing\\").wstring()));
}

} // namespace
