#pragma once
// The program's icon in the notification area: its tip, its image, the mouse actions on it
// turned into events, the main menu on right-button release, and hiding or restoring the
// whole application on request.
//
// Every call to the shell goes through one replaceable function, so that tests can see
// what would be sent and need no notification area (Xvfb has none).
#include "framework/Controls.h"
#include "framework/MessageWindow.h"

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <string>
#include <string_view>

namespace lv {

// The mouse action that triggers RestoreOn and PopupMenuOn.
enum class TTrayIconMessage {
    imClick,            // left-button release, while an OnClick handler is set
    imDoubleClick,      // a double click of any button
    imMouseDown,        // the press of any button
    imMouseUp,          // the release of any button
    imLeftClickUp,      // left-button release
    imLeftDoubleClick,  // left double click
    imRightClickUp,     // right-button release
    imRightDoubleClick, // right double click
    imNone,             // never
};

// Keys and buttons held during a mouse action.
enum ShiftFlag : unsigned {
    kShift = 1,
    kCtrl = 2,
    kAlt = 4,
    kLeftButton = 8,
    kRightButton = 16,
    kMiddleButton = 32,
};

// Tests: every later Shell_NotifyIconW call (NIM_ADD, NIM_MODIFY, NIM_DELETE and the
// record) goes to `notify` instead, whose answer stands for the shell's; an empty function
// brings the shell back.
void SetShellNotifyHandler(std::function<BOOL(DWORD message, const NOTIFYICONDATAW& data)> notify);

class TTrayIcon {
  public:
    // The callback message the shell sends to Handle() for mouse actions on the icon.
    static constexpr UINT kCallbackMessage = WM_USER + 1;

    // Invisible, no hint, image 0 of no list: the application's icon.
    TTrayIcon();
    TTrayIcon(const TTrayIcon&) = delete;
    TTrayIcon& operator=(const TTrayIcon&) = delete;
    // Removes the icon (result not examined).
    virtual ~TTrayIcon();

    // Whether the icon is wanted in the notification area.
    bool Visible() const { return visible_; }
    // Whether the shell has it now.
    bool Added() const { return added_; }
    // Adds or removes the icon. An add the shell refuses (no taskbar yet at log-on, Explorer
    // restarting) is no error: the icon is tried again every kRetryMs for about a minute,
    // and added whenever the shell announces itself (TaskbarCreated). A removal the shell
    // refuses raises lv::Exception.
    virtual void SetVisible(bool visible);
    static constexpr UINT kRetryMs = 2000;
    static constexpr int kRetries = 30;
    const std::string& Hint() const { return hint_; }
    // GBK text. Fewer than 64 characters; a longer hint is ignored and the old tip stays.
    void SetHint(std::string_view gbk);
    int IconIndex() const { return iconIndex_; }
    virtual void SetIconIndex(int index);
    // The images; the list must outlive the icon or be set back to null first. Takes image
    // IconIndex() of it at once.
    void SetIcons(const TImageList* icons);
    // The hidden window that receives the shell's callbacks.
    HWND Handle() const { return window_.Handle(); }
    const NOTIFYICONDATAW& IconData() const { return data_; }
    // A notification from the icon (GBK title and text; on Windows 10/11 a toast), without
    // a sound of its own. False when the icon is not in the notification area.
    bool ShowNotice(std::string_view titleGbk, std::string_view textGbk);

    TPopupMenu* PopupMenu = nullptr;
    TTrayIconMessage RestoreOn = TTrayIconMessage::imDoubleClick;
    TTrayIconMessage PopupMenuOn = TTrayIconMessage::imNone;

    std::function<void()> OnClick;
    // A click on the notification ShowNotice put up.
    std::function<void()> OnNoticeClick;
    std::function<void()> OnMinimize;
    std::function<void()> OnRestore;
    std::function<void(MouseButton, unsigned shift, int x, int y)> OnMouseDown;
    std::function<void(MouseButton, unsigned shift, int x, int y)> OnMouseUp;
    std::function<void(unsigned shift, int x, int y)> OnMouseMove;

    // The hidden window's messages: session end and the shell's callbacks.
    virtual LRESULT DoMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void DoClick();
    virtual void DoDblClick();
    virtual void DoMouseMove(unsigned shift, int x, int y);
    virtual void DoMouseDown(MouseButton button, unsigned shift, int x, int y);
    virtual void DoMouseUp(MouseButton button, unsigned shift, int x, int y);
    // Minimizes the application and takes its taskbar button away.
    virtual void Minimize();
    // Brings the application back from Minimize, with its taskbar button, to the front.
    virtual void Restore();
    // Passes the current image and tip to the shell while visible.
    virtual void Update();
    // PopupMenu at the cursor.
    virtual void ShowMenu();
    // Windows ends: the icon goes, Visible() stays as it is.
    void EndSession();
    // Shift, Ctrl and Alt as they are now (kShift | kCtrl | kAlt).
    static unsigned ShiftState();

  private:
    BOOL Notify(DWORD message);
    // NIM_ADD, or the icon found there already (an add that timed out in a busy shell may
    // still have been carried out).
    bool TryAdd();
    void RetryAdd();
    void TakeImage();
    void SetHook(bool installed);
    void MouseAction(UINT mouseMessage);
    void RestoreOrShowMenuOn(TTrayIconMessage action);
    static LRESULT CALLBACK ApplicationHookProc(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam, UINT_PTR id, DWORD_PTR self);

    MessageWindow window_{MessageWindow::Kind::kHiddenTopLevel};
    NOTIFYICONDATAW data_{};
    bool visible_ = false;
    bool added_ = false;
    int retriesLeft_ = 0;
    bool hooked_ = false;
    std::string hint_;
    int iconIndex_ = 0;
    const TImageList* icons_ = nullptr;
    HICON currentIcon_ = nullptr;
};

} // namespace lv
