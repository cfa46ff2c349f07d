#pragma once
// The program's one way to ask the user: every message box goes through here, so that a
// test can answer it (and see what was asked) instead of a person.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace lv {

struct MessageBoxRequest {
    HWND owner;
    std::string text;    // GBK
    std::string caption; // GBK
    UINT type;           // MB_* flags
};

// Shows the box and returns the button pressed (IDOK, IDYES, ...).
int ShowMessageBox(HWND owner, std::string_view text, std::string_view caption, UINT type);

// Tests: every later box is handed to `answer` instead of being shown; an empty
// function brings the real boxes back.
void SetMessageBoxHandler(std::function<int(const MessageBoxRequest&)> answer);

} // namespace lv
