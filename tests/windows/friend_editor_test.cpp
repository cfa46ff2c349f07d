#include "TestSupport.h"

#include "app/Main.h"
#include "framework/Timer.h"
#include "friends/FriendEditor.h"
#include "friends/FriendFile.h"

#include <memory>

namespace {

using lvtest::DataFolder;
using lvtest::MessageBoxes;
using Lines = std::vector<std::string>;

std::string FileOf(std::vector<lv::Friend> friends) {
    return lv::WriteFriendFile("Me", friends);
}

class FriendEditor : public testing::Test {
  protected:
    explicit FriendEditor(std::vector<lv::Friend> friends = {{"Amy", "10.0.0.2"}, {"Bob", "pc-bob"}}) {
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        lv::App().ResetTerminated();
        lv::App().SetAnimateWindows(false);
        dir.Write(L"FRIENDS.DAT", FileOf(std::move(friends)));
        main = std::make_unique<lv::TfrmMain>();
        editor = std::make_unique<lv::TfrmFriend>(*main);
        lv::TfrmMain::Windows windows;
        windows.frmFriend = editor.get();
        main->SetWindows(windows);
    }

    // Runs the main window's command `open` and, while the editor it opens is up, the
    // steps one after another, each as a user's action would come; then the editor must
    // have closed. Returns the number of steps that found the editor open.
    int WhileOpen(void (lv::TfrmMain::*open)(), std::vector<std::function<void()>> steps) {
        size_t next = 0;
        int sawOpen = 0;
        lv::TTimer timer;
        timer.SetInterval(20);
        timer.OnTimer = [&] {
            if (next == steps.size() || !editor->Visible() || editor->ModalResult() != 0) {
                timer.SetEnabled(false);
                if (editor->Visible() && editor->ModalResult() == 0) {
                    ADD_FAILURE() << "the editor is still open after the last step";
                    editor->btCancelClick();
                }
                return;
            }
            ++sawOpen;
            steps[next++]();
        };
        timer.SetEnabled(true);
        ((*main).*open)();
        timer.SetEnabled(false);
        EXPECT_FALSE(editor->Visible());
        return sawOpen;
    }

    std::function<void()> Type(std::string name, std::string address) {
        return [this, name, address] {
            editor->edtName.SetText(name);
            editor->edtIP.SetText(address);
        };
    }
    std::function<void()> Ok() {
        return [this] { editor->btOKClick(); };
    }
    // A key as the user presses it in the name field: through the message loop.
    std::function<void()> Key(WPARAM key) {
        return [this, key] { PostMessageW(editor->edtName.Handle(), WM_KEYDOWN, key, 0); };
    }

    Lines Names() const {
        Lines names;
        for (const lv::Friend& f : main->Friends().Entries())
            names.push_back(f.name);
        return names;
    }

    DataFolder dir;
    std::unique_ptr<lv::TfrmMain> main;
    std::unique_ptr<lv::TfrmFriend> editor;
};

TEST_F(FriendEditor, AddReportsADuplicateBeforeEmptinessAndKeepsTheInputUntilCorrected) {
    MessageBoxes boxes;
    boxes.Answer(IDOK);
    boxes.Answer(IDOK);
    boxes.Answer(IDOK);
    std::string caption, nameAfterFailure;
    bool focusOnName = false;
    WhileOpen(&lv::TfrmMain::btAddClick,
              {[&] {
                   caption = editor->Caption();
                   focusOnName = GetFocus() == editor->edtName.Handle();
               },
               Type("Amy", ""), Ok(), Type("", ""), Ok(), Type("Cid", ""), Ok(),
               [&] { nameAfterFailure = editor->edtName.Text(); }, Type("Cid", "10.0.0.2"), Ok()});
    EXPECT_EQ(caption, "添加好友");
    EXPECT_TRUE(focusOnName);
    ASSERT_EQ(boxes.asked.size(), 3u);
    EXPECT_EQ(boxes.asked[0].text, "好友已经存在，请用其他的名字。") << "duplicate before empty";
    EXPECT_EQ(boxes.asked[0].caption, "错误");
    EXPECT_EQ(boxes.asked[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(boxes.asked[1].text, "好友名及地址不能为空。");
    EXPECT_EQ(boxes.asked[2].text, "好友名及地址不能为空。");
    EXPECT_EQ(nameAfterFailure, "Cid");
    // The same address as another friend's is allowed.
    EXPECT_EQ(main->lsbNames.Items(), (Lines{"Amy", "Bob", "Cid"}));
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"),
              FileOf({{"Amy", "10.0.0.2"}, {"Bob", "pc-bob"}, {"Cid", "10.0.0.2"}}));
}

TEST_F(FriendEditor, EditKeepsItsOwnNameButNotAnothersAndOnlyExactBytesAreEqual) {
    main->lsbNames.SetItemIndex(1);
    std::string caption, shownName, shownAddress;
    {
        MessageBoxes boxes;
        boxes.Answer(IDOK);
        WhileOpen(&lv::TfrmMain::btEditClick,
                  {[&] {
                       caption = editor->Caption();
                       shownName = editor->edtName.Text();
                       shownAddress = editor->edtIP.Text();
                   },
                   Type("Amy", "pc-bob"), Ok(), Type("Bob", "pc-bob-2"), Ok()});
        ASSERT_EQ(boxes.asked.size(), 1u);
        EXPECT_EQ(boxes.asked[0].text, "好友已经存在，请用其他的名字。");
    }
    EXPECT_EQ(caption, "修改好友信息");
    EXPECT_EQ(shownName, "Bob");
    EXPECT_EQ(shownAddress, "pc-bob");
    EXPECT_EQ(main->Friends().At(1), (lv::Friend{"Bob", "pc-bob-2"}));
    EXPECT_EQ(main->lsbNames.Items(), (Lines{"Amy", "Bob"}));
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), FileOf({{"Amy", "10.0.0.2"}, {"Bob", "pc-bob-2"}}));

    // Letter case and a trailing blank make another name, in add and in edit.
    WhileOpen(&lv::TfrmMain::btAddClick, {Type("amy", "a"), Ok()});
    WhileOpen(&lv::TfrmMain::btAddClick, {Type("Amy ", "b"), Ok()});
    main->lsbNames.SetItemIndex(1);
    WhileOpen(&lv::TfrmMain::btEditClick, {Type("BOB", "pc-bob-2"), Ok()});
    EXPECT_EQ(Names(), (Lines{"Amy", "BOB", "amy", "Amy "}));
    EXPECT_EQ(main->lsbNames.Items(), Names());
}

TEST_F(FriendEditor, CancelEscAndTheCloseBoxGiveTheNewSlotBackAndChangeNothing) {
    std::string file = dir.Read(L"FRIENDS.DAT");
    std::function<void()> leaves[] = {[this] { editor->btCancelClick(); }, Key(VK_ESCAPE),
                                      [this] { editor->Close(); }};
    for (auto& leave : leaves) {
        int slot = -1;
        WhileOpen(&lv::TfrmMain::btAddClick,
                  {[&] { slot = editor->EditIndex; }, Type("Cid", "pc-cid"), leave});
        EXPECT_EQ(slot, 2);
        EXPECT_EQ(main->Friends().Count(), 2);
        EXPECT_EQ(main->lsbNames.Items(), (Lines{"Amy", "Bob"}));
        EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), file);
    }
    // In edit mode the friend stays as it was.
    main->lsbNames.SetItemIndex(0);
    WhileOpen(&lv::TfrmMain::btEditClick, {Type("Zed", "z"), Key(VK_ESCAPE)});
    EXPECT_EQ(main->Friends().At(0), (lv::Friend{"Amy", "10.0.0.2"}));
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), file);

    // The next add takes the slot right after the last friend, with Enter for OK.
    WhileOpen(&lv::TfrmMain::btAddClick, {Type("Cid", "pc-cid"), Key(VK_RETURN)});
    EXPECT_EQ(main->lsbNames.Items(), (Lines{"Amy", "Bob", "Cid"}));
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"),
              FileOf({{"Amy", "10.0.0.2"}, {"Bob", "pc-bob"}, {"Cid", "pc-cid"}}));
}

TEST_F(FriendEditor, AddAskedAgainWhileTheEditorIsOpenKeepsItsModeAndInput) {
    main->lsbNames.SetItemIndex(0);
    std::string caption, name;
    WhileOpen(&lv::TfrmMain::btEditClick, {Type("Ann", "10.0.0.2"),
                                           [this] { main->mnAddClick(); },
                                           [&] {
                                               caption = editor->Caption();
                                               name = editor->edtName.Text();
                                           },
                                           Ok()});
    EXPECT_EQ(caption, "修改好友信息");
    EXPECT_EQ(name, "Ann");
    EXPECT_EQ(Names(), (Lines{"Ann", "Bob"}));
}

class FriendEditorOfThree : public FriendEditor {
  protected:
    FriendEditorOfThree() : FriendEditor({{"A", "a"}, {"B", "b"}, {"C", "c"}}) {}
};

TEST_F(FriendEditorOfThree, DeletingTheFirstMovesTheOthersUpWithTheirAddresses) {
    main->lsbNames.SetItemIndex(0);
    {
        MessageBoxes boxes;
        boxes.Answer(IDYES);
        main->btDeleteClick();
        ASSERT_EQ(boxes.asked.size(), 1u);
        EXPECT_EQ(boxes.asked[0].text, "确认删除好友A？");
        EXPECT_EQ(boxes.asked[0].caption, "手下留情");
        EXPECT_EQ(boxes.asked[0].type, static_cast<UINT>(MB_YESNO));
    }
    EXPECT_EQ(main->lsbNames.Items(), (Lines{"B", "C"}));
    EXPECT_EQ(main->Friends().Entries(), (std::vector<lv::Friend>{{"B", "b"}, {"C", "c"}}));
    EXPECT_EQ(main->lsbNames.ItemIndex(), -1) << "the deleted line's neighbour must not be selected";
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), FileOf({{"B", "b"}, {"C", "c"}}));
}

std::vector<lv::Friend> FullList() {
    std::vector<lv::Friend> friends;
    for (int i = 0; i < lv::kMaxFriends; ++i)
        friends.push_back({"f" + std::to_string(i), "10.1." + std::to_string(i / 256) + "." +
                                                        std::to_string(i % 256)});
    return friends;
}

class FriendEditorFull : public FriendEditor {
  protected:
    FriendEditorFull() : FriendEditor(FullList()) {}
};

TEST_F(FriendEditorFull, AddToAFullListSaysSoAndReservesNothing) {
    ASSERT_EQ(main->Friends().Count(), lv::kMaxFriends);
    std::string file = dir.Read(L"FRIENDS.DAT");
    {
        MessageBoxes boxes;
        boxes.Answer(IDOK);
        EXPECT_EQ(WhileOpen(&lv::TfrmMain::mnAddClick, {}), 0) << "the editor must not open";
        ASSERT_EQ(boxes.asked.size(), 1u);
        EXPECT_EQ(boxes.asked[0].text, lv::kFriendListFullText);
        EXPECT_EQ(boxes.asked[0].type, static_cast<UINT>(MB_OK));
    }
    EXPECT_EQ(main->Friends().Count(), lv::kMaxFriends);
    EXPECT_EQ(main->lsbNames.Count(), lv::kMaxFriends);
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), file);

    // One place freed, the 500th friend goes in at the end.
    main->lsbNames.SetItemIndex(0);
    {
        MessageBoxes boxes;
        boxes.Answer(IDYES);
        main->btDeleteClick();
    }
    WhileOpen(&lv::TfrmMain::btAddClick, {Type("last", "pc"), Ok()});
    ASSERT_EQ(main->Friends().Count(), lv::kMaxFriends);
    EXPECT_EQ(main->Friends().At(lv::kMaxFriends - 1), (lv::Friend{"last", "pc"}));
    EXPECT_EQ(main->lsbNames.Item(lv::kMaxFriends - 1), "last");
    lv::FriendFileRead read = lv::ReadFriendFile(dir.Read(L"FRIENDS.DAT"));
    ASSERT_FALSE(read.damaged);
    EXPECT_EQ(read.friends.size(), static_cast<size_t>(lv::kMaxFriends));
}

// Editing, deleting or adding one friend leaves the list scrolled where the user had it.
TEST_F(FriendEditorFull, ChangesKeepTheListsScrollPosition) {
    HWND list = main->lsbNames.Handle();
    auto topLine = [list] { return SendMessageW(list, LB_GETTOPINDEX, 0, 0); };
    SendMessageW(list, LB_SETTOPINDEX, 30, 0);
    ASSERT_EQ(topLine(), 30);
    main->lsbNames.SetItemIndex(33);
    WhileOpen(&lv::TfrmMain::btEditClick, {Type("renamed", "pc33"), Ok()});
    EXPECT_EQ(topLine(), 30) << "edit";
    EXPECT_EQ(main->lsbNames.Item(33), "renamed");
    EXPECT_EQ(main->lsbNames.ItemIndex(), 33);
    {
        MessageBoxes boxes;
        boxes.Answer(IDYES);
        main->btDeleteClick();
    }
    EXPECT_EQ(topLine(), 30) << "delete";
    WhileOpen(&lv::TfrmMain::btAddClick, {Type("new", "pc-new"), Ok()});
    EXPECT_EQ(topLine(), 30) << "add";
    EXPECT_EQ(main->lsbNames.Items(), Names());
}

} // namespace
