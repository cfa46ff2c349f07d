// msgsvc.exe: stands in for the Windows Messenger service. Listens for Messenger messages
// on the address and port of msgsvc.ini and shows each one in a pop-up of its own.
//
// Exit codes: 0 normal end, 1 unusable msgsvc.ini, 2 cannot listen (or cannot hold the
// single-instance mutex), 3 already running for this address and port. The reason goes to the error
// output and to the log file if one is set; no message box, because the service is usually started
// unattended.
#include "framework/Files.h"
#include "framework/Gbk.h"
#include "messenger/msgsvc/Listener.h"
#include "messenger/msgsvc/Popup.h"
#include "messenger/msgsvc/PopupSlots.h"
#include "messenger/msgsvc/PopupText.h"
#include "messenger/msgsvc/ServiceConfig.h"
#include "messenger/msgsvc/ServiceFiles.h"
#include "messenger/msgsvc/SingleInstance.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace {

using namespace lv::messenger;

constexpr UINT kShowPopup = WM_APP + 1; // lParam: heap std::string, owned by the receiver
// Refusals come as fast as a peer can send; the log gets the first of every hundred, so
// it grows with the messages shown, not with an attack.
constexpr long kRefusalsPerLogLine = 100;

struct Service {
    HINSTANCE instance = nullptr;
    HWND courier = nullptr; // message-only window: the network thread posts pop-ups here
    ServiceConfig config;
    std::wstring logPath;
    std::mutex logLock;
    // Pop-ups open or on their way to the UI thread; created once the limit is read.
    std::unique_ptr<PopupSlots> popups;
    std::atomic<long> delivered{0};
    std::atomic<long> refused{0};

    void Log(const std::string& line) {
        if (logPath.empty())
            return;
        SYSTEMTIME t;
        GetLocalTime(&t);
        std::string stamped =
            PopupTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond) + " " + line;
        std::lock_guard<std::mutex> lock(logLock);
        AppendLine(logPath, stamped);
    }

    // Both the error output (when someone started us from a console) and the log.
    void Report(const std::string& line) {
        HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        if (err && err != INVALID_HANDLE_VALUE) {
            std::string text = "msgsvc: " + line + "\n";
            DWORD written = 0;
            WriteFile(err, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        }
        Log(line);
    }

    // Network thread. False → the sender gets ERRnoroom.
    bool Deliver(const Message& message) {
        if (!popups->TryTake()) {
            long n = ++refused;
            if (n % kRefusalsPerLogLine == 1)
                Log("pop-up limit reached, message from " + LogName(message.sender) + " refused (" +
                    std::to_string(n) + " so far)");
            return false;
        }

        SYSTEMTIME t;
        GetLocalTime(&t);
        auto text = std::make_unique<std::string>(PopupText(
            message, PopupTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond)));
        if (!PostMessageW(courier, kShowPopup, 0, reinterpret_cast<LPARAM>(text.get()))) {
            popups->Releaser()();
            return false;
        }
        text.release();
        long n = ++delivered;
        Log("delivered " + std::to_string(n) + " from " + LogName(message.sender) + " to " +
            LogName(message.recipient) + ", " + std::to_string(message.text.size()) + " bytes");
        return true;
    }
};

Service* g_service = nullptr;

LRESULT CALLBACK CourierProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kShowPopup) {
        std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lp));
        Service* service = g_service;
        // Runs once however often it is called: the slot comes back whether the window
        // closes, was never made, or an error cut the showing short.
        std::function<void()> release = service->popups->Releaser();
        try {
            if (!ShowPopup(service->instance, *text, release)) {
                release();
                service->Log("a pop-up could not be created");
            }
        } catch (...) {
            release();
            service->Log("a pop-up could not be shown");
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

std::wstring LogPath(const std::string& log) {
    if (log.empty())
        return {};
    std::wstring path = lv::ToWide(log);
    bool absolute = (path.size() > 1 && path[1] == L':') || path[0] == L'\\' || path[0] == L'/';
    return absolute ? path : lv::ExecutableDirectory() + path;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    static Service service;
    g_service = &service;
    service.instance = instance;
    service.config = ReadServiceConfig(ReadServiceIni());
    service.logPath = LogPath(service.config.log);
    service.popups = std::make_unique<PopupSlots>(service.config.maxPopups);
    if (!service.config.error.empty()) {
        service.Report("msgsvc.ini: " + service.config.error);
        return 1;
    }

    std::string where = service.config.address + ":" + std::to_string(service.config.port);
    switch (ClaimInstance(lv::ToWide(ServiceMutexName(service.config)))) {
    case InstanceClaim::kFirst:
        break;
    case InstanceClaim::kAlreadyRunning:
        service.Report("already running for " + where);
        return 3;
    case InstanceClaim::kFailed:
        service.Report("cannot hold the single-instance mutex for " + where + " (error " +
                       std::to_string(GetLastError()) + ")");
        return 2;
    }

    WNDCLASSEXW courierClass{};
    courierClass.cbSize = sizeof courierClass;
    courierClass.lpfnWndProc = CourierProc;
    courierClass.hInstance = instance;
    courierClass.lpszClassName = L"LumivaleMessengerCourier";
    RegisterClassExW(&courierClass);
    RegisterPopupClass(instance);
    service.courier = CreateWindowExW(0, courierClass.lpszClassName, L"", 0, 0, 0, 0, 0,
                                      HWND_MESSAGE, nullptr, instance, nullptr);
    if (!service.courier) {
        service.Report("no message window");
        return 2;
    }

    Listener listener(
        service.config, [](const Message& m) { return g_service->Deliver(m); },
        [](const std::string& line) { g_service->Log(line); });
    std::string error;
    if (!listener.Start(error)) {
        service.Report(error);
        return 2;
    }
    service.Log("listening on " + where);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    listener.Stop();
    return 0;
}
