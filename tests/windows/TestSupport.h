#pragma once
// Helpers for the in-process Windows tests: a data folder of the test's own, message
// boxes answered by the test, and waiting for the main thread's queue.
#include "framework/Application.h"
#include "framework/Files.h"
#include "framework/Form.h"
#include "framework/MessageBox.h"
#include "messagelog/MessageLog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace lvtest {

// A bare form of the size and caption a test needs; tests derive from it to add controls.
class TestForm : public lv::TForm {
  public:
    explicit TestForm(std::string caption = "测试", int width = 300, int height = 200,
                      bool fades = false) {
        lv::FormLayout layout;
        layout.caption = std::move(caption);
        layout.clientWidth = width;
        layout.clientHeight = height;
        layout.fades = fades;
        CreateForm(layout);
    }
};

// A fresh folder that the program takes as its own directory while the object lives.
class DataFolder {
  public:
    DataFolder() {
        static int serial = 0;
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, temp);
        path_ = std::filesystem::path(temp) / (L"lvtest-" + std::to_wstring(GetCurrentProcessId()) +
                                               L"-" + std::to_wstring(++serial));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        lv::SetAppDirectory(path_.wstring());
    }
    ~DataFolder() {
        lv::SetAppDirectory(L"");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::filesystem::path operator/(const std::wstring& name) const { return path_ / name; }

    void Write(const std::wstring& name, const std::string& bytes) const {
        std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string Read(const std::wstring& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool Exists(const std::wstring& name) const { return std::filesystem::exists(path_ / name); }
    // Nothing can be written where a directory stands in the way.
    void Block(const std::wstring& name) const { std::filesystem::create_directory(path_ / name); }
    // A log's file once its writer has folded the records put in front so far.
    std::string ReadLog(const std::wstring& name, const lv::MessageLog& log) const {
        log.WaitWritten(5000);
        return Read(name);
    }

  private:
    std::filesystem::path path_;
};

// Answers the boxes of one test in order and keeps what they asked. A box nobody expected
// fails the test and is answered with Cancel/No.
class MessageBoxes {
  public:
    MessageBoxes() {
        lv::SetMessageBoxHandler([this](const lv::MessageBoxRequest& request) {
            asked.push_back(request);
            if (answers_.empty()) {
                ADD_FAILURE() << "unexpected message box: " << request.caption;
                return (request.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
            }
            int answer = answers_.front();
            answers_.pop_front();
            return answer;
        });
    }
    ~MessageBoxes();
    void Answer(int answer) { answers_.push_back(answer); }

    std::vector<lv::MessageBoxRequest> asked;

  private:
    std::deque<int> answers_;
};

void InstallUnexpectedBoxHandler();
// The tray icon's calls to the shell succeed and go nowhere.
void InstallAcceptingShell();
// A file dialog nobody expected fails the test and is cancelled.
void InstallUnexpectedOpenDialogHandler();
inline MessageBoxes::~MessageBoxes() {
    InstallUnexpectedBoxHandler();
}

// Handles the main thread's messages until `done` or the time is up; true when done.
inline bool PumpUntil(const std::function<bool()>& done, int milliseconds = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        lv::App().ProcessMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// Whether `upper` lies above `lower` in the z-order.
inline bool IsAbove(HWND upper, HWND lower) {
    for (HWND w = GetWindow(upper, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w == lower)
            return true;
    return false;
}

} // namespace lvtest
