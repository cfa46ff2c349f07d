#pragma once
// The friend editor: a small modal dialog for one friend's display name and address, in
// add or edit mode. Created once at start-up and reused; the main window's add and edit
// commands open it, and every change it makes goes into the main window's friend list,
// its list box and FRIENDS.DAT at once.
#include "framework/Controls.h"
#include "framework/Form.h"
#include "hub/MainHub.h"

#include <string>

namespace lv {

// Control IDs of the friend editor; tools that drive it from outside rely on them.
enum FriendWindowId : int {
    kFriendGroupName = 400,
    kEdtFriendName = 401,
    kFriendGroupAddress = 402,
    kEdtFriendIP = 403,
    kFriendBtOK = 404,
    kFriendBtCancel = 405,
};

// The two captions, which are also the two modes.
inline constexpr char kAddFriendCaption[] = "添加好友";
inline constexpr char kEditFriendCaption[] = "修改好友信息";
// What Add says when the list already holds kMaxFriends friends.
inline constexpr char kFriendListFullText[] = "好友数量已达上限（500个），请先删除一些好友再添加。";

class TfrmFriend : public TForm {
  public:
    explicit TfrmFriend(MainHub& hub);

    // The main window's add command: empty fields in add mode, shown modally; returns when
    // the dialog has closed. With a full list it only says so and returns false (nothing
    // was shown); so it does when the dialog is already open, which it brings forward.
    bool OpenAdd();
    // The main window's edit command for friend `index`: its name and address in edit
    // mode, shown modally. False (nothing shown) when there is no such friend.
    bool OpenEdit(int index);

    // The slot OK writes: in add mode the one after the last friend, in edit mode the
    // friend being edited. The new slot of add mode is only held here: the list itself
    // grows when OK has passed its tests, so Cancel, Esc and the close box have nothing to
    // give back, and nothing that reads the list meanwhile sees an empty friend.
    int EditIndex = 0;
    bool AddMode() const { return Caption() == kAddFriendCaption; }

    // Handlers, as a user's action runs them.
    void btOKClick();
    void btCancelClick();

    TGroupBox GroupBox1;
    TEdit edtName;
    TGroupBox GroupBox2;
    TEdit edtIP;
    TButton btOK, btCancel;

  protected:
    void FormShow() override;

  private:
    void CreateControls();
    bool AlreadyOpen();

    MainHub& hub_;
};

} // namespace lv
