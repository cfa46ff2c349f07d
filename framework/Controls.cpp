#include "framework/Controls.h"

#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Form.h"
#include "framework/Gbk.h"

namespace lv {
namespace {

std::string WindowText(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    return ToGbk(text);
}

} // namespace

TControl::~TControl() {
    // The child window is left to the form, whose own window takes it along when it goes.
    // Destroying it here would move the focus and notify the form while the form's
    // members are already half destroyed.
    if (form_)
        form_->RemoveControl(this);
    if (brush_)
        DeleteObject(brush_);
}

void TControl::CreateControl(TForm& form, int id, const wchar_t* windowClass, std::string_view text,
                             DWORD style, DWORD exStyle, int left, int top, int width, int height) {
    HWND hwnd = CreateWindowExW(exStyle | WS_EX_NOPARENTNOTIFY, windowClass, ToWide(text).c_str(),
                                WS_CHILD | WS_VISIBLE | style, left, top, width, height,
                                form.Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
    // A control without a window would fail silently at every later call; say so now.
    if (!hwnd)
        throw Exception("Unable to create control " + ToGbk(windowClass) + " (error " +
                        std::to_string(GetLastError()) + ")");
    form_ = &form;
    id_ = id;
    hwnd_ = hwnd;
    form.AddControl(this);
}

std::string TControl::Text() const {
    return WindowText(hwnd_);
}

void TControl::SetText(std::string_view gbk) {
    SetWindowTextW(hwnd_, ToWide(gbk).c_str());
}

bool TControl::Visible() const {
    return IsWindowVisible(hwnd_);
}

void TControl::SetVisible(bool visible) {
    ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

bool TControl::Enabled() const {
    return IsWindowEnabled(hwnd_);
}

void TControl::SetEnabled(bool enabled) {
    EnableWindow(hwnd_, enabled);
}

RECT TControl::Bounds() const {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void TControl::SetFont(HFONT font) {
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void TControl::SetColor(COLORREF color) {
    if (brush_)
        DeleteObject(brush_);
    color_ = color;
    brush_ = CreateSolidBrush(color);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TButton::Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                     int height) {
    CreateControl(form, id, WC_BUTTONW, caption, BS_PUSHBUTTON | WS_TABSTOP, 0, left, top, width,
                  height);
}

void TButton::Click() {
    if (OnClick)
        OnClick();
}

void TButton::Notify(int code) {
    if (code == BN_CLICKED)
        Click();
}

void TGroupBox::Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                       int height) {
    CreateControl(form, id, WC_BUTTONW, caption, BS_GROUPBOX, 0, left, top, width, height);
}

TListBox::~TListBox() {
    if (Handle() && IsWindow(Handle()))
        RemoveWindowSubclass(Handle(), SubclassProc, 0);
}

void TListBox::Create(TForm& form, int id, int left, int top, int width, int height,
                      int itemHeight) {
    CreateControl(form, id, WC_LISTBOXW, "",
                  LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                  left, top, width, height);
    SendMessageW(Handle(), LB_SETITEMHEIGHT, 0, itemHeight);
    // Mouse-button releases go to the list box itself, not to the form.
    SetWindowSubclass(Handle(), SubclassProc, 0, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK TListBox::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR self) {
    LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
    auto* list = reinterpret_cast<TListBox*>(self);
    std::optional<MouseButton> button;
    if (message == WM_LBUTTONUP)
        button = MouseButton::Left;
    else if (message == WM_RBUTTONUP)
        button = MouseButton::Right;
    else if (message == WM_MBUTTONUP)
        button = MouseButton::Middle;
    if (button && list->OnMouseUp) {
        try {
            list->OnMouseUp(*button);
        } catch (...) {
            // Nothing may unwind through the system's frames: the same error box as the
            // form's own dispatch.
            App().HandleException(std::current_exception());
        }
    }
    return result;
}

int TListBox::Count() const {
    return static_cast<int>(SendMessageW(Handle(), LB_GETCOUNT, 0, 0));
}

std::string TListBox::Item(int index) const {
    LRESULT n = SendMessageW(Handle(), LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n == LB_ERR)
        return {};
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = SendMessageW(Handle(), LB_GETTEXT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(n == LB_ERR ? 0 : static_cast<size_t>(n));
    return ToGbk(text);
}

std::vector<std::string> TListBox::Items() const {
    std::vector<std::string> items;
    for (int i = 0, n = Count(); i < n; ++i)
        items.push_back(Item(i));
    return items;
}

void TListBox::Add(std::string_view gbk) {
    SendMessageW(Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(gbk).c_str()));
}

void TListBox::Insert(int index, std::string_view gbk) {
    SendMessageW(Handle(), LB_INSERTSTRING, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(ToWide(gbk).c_str()));
}

void TListBox::SetItem(int index, std::string_view gbk) {
    bool selected = ItemIndex() == index;
    Delete(index);
    Insert(index, gbk);
    if (selected)
        SetItemIndex(index);
}

void TListBox::Delete(int index) {
    SendMessageW(Handle(), LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void TListBox::SetItems(const std::vector<std::string>& items) {
    const std::vector<std::string> old = Items();
    size_t head = 0;
    while (head < old.size() && head < items.size() && old[head] == items[head])
        ++head;
    size_t tail = 0;
    while (tail < old.size() - head && tail < items.size() - head &&
           old[old.size() - 1 - tail] == items[items.size() - 1 - tail])
        ++tail;
    for (size_t i = old.size() - tail; i > head; --i)
        Delete(static_cast<int>(i - 1));
    for (size_t i = head; i < items.size() - tail; ++i)
        Insert(static_cast<int>(i), items[i]);
}

void TListBox::Clear() {
    SendMessageW(Handle(), LB_RESETCONTENT, 0, 0);
}

int TListBox::ItemIndex() const {
    LRESULT i = SendMessageW(Handle(), LB_GETCURSEL, 0, 0);
    return i == LB_ERR ? -1 : static_cast<int>(i);
}

void TListBox::SetItemIndex(int index) {
    SendMessageW(Handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int TListBox::ItemHeight() const {
    return static_cast<int>(SendMessageW(Handle(), LB_GETITEMHEIGHT, 0, 0));
}

void TListBox::Notify(int code) {
    if (code == LBN_DBLCLK && OnDblClick)
        OnDblClick();
}

void TMemo::Create(TForm& form, int id, int left, int top, int width, int height, bool readOnly) {
    DWORD style = ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | (readOnly ? ES_READONLY : 0);
    CreateControl(form, id, WC_EDITW, "", style, WS_EX_CLIENTEDGE, left, top, width, height);
    // No limit of the memo's own: the text grows until it is cleared.
    SendMessageW(Handle(), EM_SETLIMITTEXT, 0, 0);
}

TMemo::~TMemo() {
    if (subclassed_ && Handle() && IsWindow(Handle()))
        RemoveWindowSubclass(Handle(), EditorProc, 0);
}

void TMemo::CreateEditor(TForm& form, int id, int left, int top, int width, int height) {
    // No ES_AUTOHSCROLL: lines wrap at the edge.
    DWORD style = ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL |
                  WS_TABSTOP;
    CreateControl(form, id, WC_EDITW, "", style, WS_EX_CLIENTEDGE, left, top, width, height);
    SendMessageW(Handle(), EM_SETLIMITTEXT, 0, 0);
    SetWindowSubclass(Handle(), EditorProc, 0, reinterpret_cast<DWORD_PTR>(this));
    subclassed_ = true;
}

LRESULT CALLBACK TMemo::EditorProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR, DWORD_PTR self) {
    auto* memo = reinterpret_cast<TMemo*>(self);
    switch (message) {
    case WM_GETDLGCODE: {
        LRESULT code = DefSubclassProc(hwnd, message, wParam, lParam);
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg && msg->message == WM_KEYDOWN) {
            // Enter is the memo's (a new line, or its key handler's); Esc is the form's.
            if (msg->wParam == VK_RETURN)
                code |= DLGC_WANTALLKEYS;
            else if (msg->wParam == VK_ESCAPE)
                code &= ~DLGC_WANTALLKEYS;
        }
        return code;
    }
    case WM_KEYDOWN:
        if (memo->OnKeyDown) {
            unsigned shift = (GetKeyState(VK_SHIFT) < 0 ? ssShift : 0u) |
                             (GetKeyState(VK_MENU) < 0 ? ssAlt : 0u) |
                             (GetKeyState(VK_CONTROL) < 0 ? ssCtrl : 0u);
            memo->swallowChar_ = false;
            if (memo->OnKeyDown(static_cast<WORD>(wParam), shift)) {
                // The character the key would type follows as WM_CHAR: not typed either.
                memo->swallowChar_ = true;
                return 0;
            }
        }
        break;
    case WM_CHAR:
        if (memo->swallowChar_) {
            // Only the control character such a key makes (Ctrl+Enter: a line feed); a key
            // used up without one leaves the next typed character alone.
            memo->swallowChar_ = false;
            if (wParam < 0x20)
                return 0;
        }
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void TMemo::AppendLine(std::string_view gbk) {
    std::wstring line = ToWide(gbk) + L"\r\n";
    LRESULT end = GetWindowTextLengthW(Handle());
    SendMessageW(Handle(), EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageW(Handle(), EM_SCROLLCARET, 0, 0);
}

void TMemo::Clear() {
    SetWindowTextW(Handle(), L"");
}

std::vector<std::string> TMemo::Lines() const {
    std::string text = Text();
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

int TMemo::LineCount() const {
    return static_cast<int>(Lines().size());
}

std::string TMemo::Line(int index) const {
    std::vector<std::string> lines = Lines();
    return index >= 0 && index < static_cast<int>(lines.size()) ? lines[static_cast<size_t>(index)]
                                                                : std::string();
}

namespace {

DWORD BevelExStyle(Bevel bevel) {
    switch (bevel) {
    case Bevel::Lowered:
        return WS_EX_CLIENTEDGE;
    case Bevel::Soft:
        return WS_EX_STATICEDGE;
    case Bevel::None:
        break;
    }
    return 0;
}

} // namespace

void TLabel::Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                    int height) {
    CreateControl(form, id, WC_STATICW, caption, SS_LEFT | SS_NOPREFIX, 0, left, top, width,
                  height);
}

void TEdit::Create(TForm& form, int id, std::string_view text, int left, int top, int width,
                   int height, Bevel bevel) {
    CreateControl(form, id, WC_EDITW, text, ES_AUTOHSCROLL | WS_TABSTOP, BevelExStyle(bevel), left,
                  top, width, height);
}

void TEdit::SetMaxLength(int characters) {
    SendMessageW(Handle(), EM_SETLIMITTEXT, static_cast<WPARAM>(characters), 0);
}

int TEdit::MaxLength() const {
    // An edit without a limit of ours reports the control's own ceiling.
    return static_cast<int>(SendMessageW(Handle(), EM_GETLIMITTEXT, 0, 0));
}

void TEdit::SetReadOnly(bool readOnly) {
    SendMessageW(Handle(), EM_SETREADONLY, readOnly, 0);
}

bool TEdit::ReadOnly() const {
    return (GetWindowLongPtrW(Handle(), GWL_STYLE) & ES_READONLY) != 0;
}

void TEdit::Notify(int code) {
    if (code == EN_CHANGE && OnChange)
        OnChange();
}

void TCheckBox::Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                       int height) {
    CreateControl(form, id, WC_BUTTONW, caption, BS_AUTOCHECKBOX | WS_TABSTOP, 0, left, top, width,
                  height);
}

bool TCheckBox::Checked() const {
    return SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool checked) {
    SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::Click() {
    if (OnClick)
        OnClick();
}

void TCheckBox::Notify(int code) {
    if (code == BN_CLICKED)
        Click();
}

void THotKey::Create(TForm& form, int id, int left, int top, int width, int height) {
    CreateControl(form, id, HOTKEY_CLASSW, "", WS_TABSTOP, WS_EX_CLIENTEDGE, left, top, width,
                  height);
}

uint16_t THotKey::Value() const {
    return static_cast<uint16_t>(SendMessageW(Handle(), HKM_GETHOTKEY, 0, 0));
}

void THotKey::SetValue(uint16_t code) {
    SendMessageW(Handle(), HKM_SETHOTKEY, code, 0);
}

void THotKey::SetRules(WORD invalidCombinations, WORD replacementModifiers) {
    SendMessageW(Handle(), HKM_SETRULES, invalidCombinations, MAKELPARAM(replacementModifiers, 0));
}

TImage::~TImage() {
    Release();
}

void TImage::Create(TForm& form, int id, int left, int top, int width, int height) {
    // SS_REALSIZECONTROL: the control keeps its own size instead of taking the image's.
    CreateControl(form, id, WC_STATICW, "", SS_BITMAP | SS_REALSIZECONTROL, 0, left, top, width,
                  height);
}

void TImage::SetBitmap(HBITMAP bitmap) {
    Release();
    bitmap_ = bitmap;
    SetImage(IMAGE_BITMAP, SS_BITMAP, bitmap);
}

void TImage::SetIcon(HICON icon) {
    Release();
    icon_ = icon;
    SetImage(IMAGE_ICON, SS_ICON, icon);
}

void TImage::SetImage(UINT type, DWORD style, HANDLE image) {
    // The static control takes only the kind of image its style names.
    LONG_PTR current = GetWindowLongPtrW(Handle(), GWL_STYLE);
    SetWindowLongPtrW(Handle(), GWL_STYLE, (current & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | style);
    SendMessageW(Handle(), STM_SETIMAGE, type, reinterpret_cast<LPARAM>(image));
}

void TImage::Release() {
    if (Handle() && IsWindow(Handle())) {
        // A bitmap with an alpha channel is copied by the control; the copy comes back here
        // and is ours to free as well.
        LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE) & SS_TYPEMASK;
        UINT type = style == SS_ICON ? IMAGE_ICON : IMAGE_BITMAP;
        auto previous = reinterpret_cast<HANDLE>(SendMessageW(Handle(), STM_SETIMAGE, type, 0));
        if (type == IMAGE_BITMAP && previous && previous != bitmap_)
            DeleteObject(previous);
    }
    if (bitmap_)
        DeleteObject(bitmap_);
    if (icon_)
        DestroyIcon(icon_);
    bitmap_ = nullptr;
    icon_ = nullptr;
}

void TPanel::Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                    int height, Bevel bevel) {
    // SS_SUNKEN draws the lowered bevel and still shows text; SS_CENTERIMAGE centres the
    // caption vertically.
    DWORD style = SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX;
    DWORD exStyle = 0;
    if (bevel == Bevel::Lowered)
        style |= SS_SUNKEN;
    else
        exStyle = BevelExStyle(bevel);
    CreateControl(form, id, WC_STATICW, caption, style, exStyle, left, top, width, height);
}

TPopupMenu::~TPopupMenu() {
    if (owner_ && IsWindow(owner_))
        RemoveWindowSubclass(owner_, OwnerProc, reinterpret_cast<UINT_PTR>(this));
    if (menu_)
        DestroyMenu(menu_);
}

void TPopupMenu::Create(TForm& owner) {
    Create(owner.Handle());
}

void TPopupMenu::Create(HWND owner) {
    owner_ = owner;
    menu_ = CreatePopupMenu();
    // Commands for the items reach the owner's window procedure; the menu looks at them
    // first, so the owner needs no table of its own.
    SetWindowSubclass(owner_, OwnerProc, reinterpret_cast<UINT_PTR>(this),
                      reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK TPopupMenu::OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self) {
    auto* menu = reinterpret_cast<TPopupMenu*>(self);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, OwnerProc, id);
        menu->owner_ = nullptr;
    } else if (message == WM_COMMAND && lParam == 0 && HIWORD(wParam) == 0 &&
               menu->handlers_.count(LOWORD(wParam))) {
        try {
            menu->Click(LOWORD(wParam));
        } catch (...) {
            // Nothing may unwind through the system's frames.
            App().HandleException(std::current_exception());
        }
        return 0;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void TPopupMenu::Add(int id, std::string_view caption, std::function<void()> onClick) {
    AppendMenuW(menu_, MF_STRING, static_cast<UINT_PTR>(id), ToWide(caption).c_str());
    handlers_[id] = std::move(onClick);
}

void TPopupMenu::AddDisabled(int id, std::string_view caption) {
    AppendMenuW(menu_, MF_STRING | MF_GRAYED, static_cast<UINT_PTR>(id), ToWide(caption).c_str());
}

void TPopupMenu::AddSeparator() {
    AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr);
}

void TPopupMenu::SetItemEnabled(int id, bool enabled) {
    EnableMenuItem(menu_, static_cast<UINT>(id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

bool TPopupMenu::ItemEnabled(int id) const {
    UINT state = GetMenuState(menu_, static_cast<UINT>(id), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

bool TPopupMenu::Click(int id) {
    auto handler = handlers_.find(id);
    // A greyed item cannot be chosen, whichever way its command comes.
    if (handler == handlers_.end() || !ItemEnabled(id))
        return false;
    if (handler->second)
        handler->second();
    return true;
}

void TPopupMenu::Popup(int x, int y) {
    // A menu opened for a window that is not in the foreground would not close when the
    // user clicks elsewhere; the WM_NULL afterwards lets it close on the first click.
    SetForegroundWindow(owner_);
    int chosen = static_cast<int>(TrackPopupMenu(
        menu_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, x, y, 0, owner_,
        nullptr));
    PostMessageW(owner_, WM_NULL, 0, 0);
    if (chosen != 0)
        Click(chosen);
}

std::vector<TPopupMenu::Item> TPopupMenu::Items() const {
    std::vector<Item> items;
    int n = GetMenuItemCount(menu_);
    for (int i = 0; i < n; ++i) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        GetMenuItemInfoW(menu_, static_cast<UINT>(i), TRUE, &info);
        std::wstring text(info.cch + 1, L'\0');
        info.dwTypeData = text.data();
        info.cch = static_cast<UINT>(text.size());
        GetMenuItemInfoW(menu_, static_cast<UINT>(i), TRUE, &info);
        text.resize(wcslen(text.c_str()));
        bool separator = (info.fType & MFT_SEPARATOR) != 0;
        items.push_back(Item{static_cast<int>(info.wID), separator ? "" : ToGbk(text), separator,
                             (info.fState & MFS_DISABLED) == 0});
    }
    return items;
}

TImageList::~TImageList() {
    if (list_)
        ImageList_Destroy(list_);
}

void TImageList::Create(int width, int height) {
    list_ = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 2, 2);
}

void TImageList::Add(HICON icon) {
    ImageList_ReplaceIcon(list_, -1, icon);
}

int TImageList::Count() const {
    return ImageList_GetImageCount(list_);
}

HICON TImageList::GetIcon(int index) const {
    return ImageList_GetIcon(list_, index, ILD_NORMAL);
}

} // namespace lv
