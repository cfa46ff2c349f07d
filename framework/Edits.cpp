#include "framework/Edits.h"

#include "framework/Gbk.h"

namespace lv {

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

} // namespace lv
