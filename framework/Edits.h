#pragma once
// Controls the user types into: one-line edits, memos and the hot-key field.
#include "framework/Control.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

// One-line edit. Lengths are in characters as the user types them (UTF-16 units), which is
// what the edit control itself counts.
class TEdit : public TControl {
  public:
    void Create(TForm& form, int id, std::string_view text, int left, int top, int width,
                int height, Bevel bevel = Bevel::Lowered);
    // 0 lifts the limit. Text set by the program is not cut, only typing is refused.
    void SetMaxLength(int characters);
    int MaxLength() const;
    void SetReadOnly(bool readOnly);
    bool ReadOnly() const;

    void Notify(int code) override;

    std::function<void()> OnChange;
};

// Multi-line edit. Lines are ended by CR LF; AppendLine adds one line and scrolls it into
// view.
class TMemo : public TControl {
  public:
    ~TMemo() override;
    void Create(TForm& form, int id, int left, int top, int width, int height, bool readOnly);
    // Text the user writes: Enter makes a new line (it does not press the form's default
    // button; Esc still presses the cancel button), long lines wrap, both scroll bars.
    void CreateEditor(TForm& form, int id, int left, int top, int width, int height);

    void AppendLine(std::string_view gbk);
    void Clear();
    std::vector<std::string> Lines() const;
    int LineCount() const;
    std::string Line(int index) const;

    // Editors only: sees each key pressed in the memo first, with the ShiftState bits held;
    // true uses the key up (the memo neither acts on it nor types it).
    std::function<bool(WORD key, unsigned shift)> OnKeyDown;

  private:
    static LRESULT CALLBACK EditorProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self);
    bool subclassed_ = false;
    bool swallowChar_ = false;
};

// Hot-key edit (msctls_hotkey32). The value is the 16-bit shortcut code of the settings
// file: low byte the virtual key, high byte the HOTKEYF_* flags, exactly as the control
// reports it.
class THotKey : public TControl {
  public:
    void Create(TForm& form, int id, int left, int top, int width, int height);
    uint16_t Value() const;
    void SetValue(uint16_t code);
    // Modifier combinations (HKCOMB_*) the user may not enter, and the HOTKEYF_* flags the
    // control puts in their place.
    void SetRules(WORD invalidCombinations, WORD replacementModifiers);
};

} // namespace lv
