#include "friends/FriendEditor.h"

#include "framework/MessageBox.h"
#include "framework/Palette.h"

namespace lv {

TfrmFriend::TfrmFriend(MainHub& hub) : hub_(hub) {
    FormLayout layout;
    layout.caption = ""; // set at each opening: the mode
    layout.clientWidth = 249;
    layout.clientHeight = 166;
    layout.position = POINT{312, 220};
    CreateForm(layout);
    CreateControls();
}

void TfrmFriend::CreateControls() {
    // The group boxes are frames only: each edit is the dialog's own child, placed at its
    // group's offset, so that its notifications reach the dialog. Creation order is the
    // tab order.
    GroupBox1.Create(*this, kFriendGroupName, "好友名字", 8, 8, 233, 57);
    edtName.Create(*this, kEdtFriendName, "", 16, 32, 217, 21, Bevel::Soft);
    edtName.SetColor(kSkyBlue);
    GroupBox2.Create(*this, kFriendGroupAddress, "好友IP或计算机名", 8, 72, 233, 57);
    edtIP.Create(*this, kEdtFriendIP, "", 16, 96, 217, 21, Bevel::Soft);
    edtIP.SetColor(kSkyBlue);
    btOK.Create(*this, kFriendBtOK, "确定", 24, 136, 75, 25);
    btCancel.Create(*this, kFriendBtCancel, "取消", 144, 136, 75, 25);

    SetDefaultButton(&btOK);
    SetCancelButton(&btCancel);
    btOK.OnClick = [this] { btOKClick(); };
    btCancel.OnClick = [this] { btCancelClick(); };
}

bool TfrmFriend::AlreadyOpen() {
    if (!Modal())
        return false;
    // Asked again while it is up (the tray menu's add stays usable): the open dialog keeps
    // its mode and input and only comes forward.
    ShowModal();
    return true;
}

bool TfrmFriend::OpenAdd() {
    if (AlreadyOpen())
        return false;
    const FriendList& friends = hub_.Friends();
    // A slot past the last one the list can hold would be written nowhere.
    if (friends.Full()) {
        ShowMessageBox(hub_.MainWindow(), kFriendListFullText, kAddFriendCaption, MB_OK);
        return false;
    }
    EditIndex = friends.Count();
    edtIP.SetText("");
    edtName.SetText("");
    SetCaption(kAddFriendCaption);
    ShowModal();
    return true;
}

bool TfrmFriend::OpenEdit(int index) {
    if (AlreadyOpen())
        return false;
    const FriendList& friends = hub_.Friends();
    if (index < 0 || index >= friends.Count())
        return false;
    EditIndex = index;
    SetCaption(kEditFriendCaption);
    edtIP.SetText(friends.At(index).address);
    edtName.SetText(friends.At(index).name);
    ShowModal();
    return true;
}

void TfrmFriend::FormShow() {
    FocusControl(edtName);
}

void TfrmFriend::btOKClick() {
    FriendList& friends = hub_.Friends();
    std::string name = edtName.Text();
    std::string address = edtIP.Text();

    // A duplicate is reported before emptiness; the dialog keeps its input either way.
    for (int j = 0; j < friends.Count(); ++j) {
        if (j != EditIndex && friends.At(j).name == name) {
            ShowMessageBox(Handle(), "好友已经存在，请用其他的名字。", "错误", MB_OK);
            return;
        }
    }
    if (name.empty() || address.empty()) {
        ShowMessageBox(Handle(), "好友名及地址不能为空。", "错误", MB_OK);
        return;
    }

    bool stored = AddMode() ? friends.Add({name, address})
                            : friends.Replace(EditIndex, {name, address});
    if (!stored) {
        // Only a list that filled up or shrank behind the dialog's back gets here.
        ShowMessageBox(Handle(), AddMode() ? kFriendListFullText : "该好友已不存在。", "错误",
                       MB_OK);
    } else {
        // The list box follows the list; FRIENDS.DAT reports its own outcome.
        hub_.SaveFriends();
    }
    SetModalResult(IDOK);
    Close();
}

void TfrmFriend::btCancelClick() {
    Close();
}

} // namespace lv
