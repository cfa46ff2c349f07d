// msgsvc.exe: stands in for the Windows Messenger service. Listens for Messenger messages
// on the address and port of msgsvc.ini and shows each one in a pop-up of its own.
//
// Exit codes: 0 normal end, 1 unusable msgsvc.ini, 2 cannot listen, 3 already running for
// this address and port. The reason goes to the error output and to the log file if one
// is set; no message box, because the service is usually started unattended.
#include "framework/Files.h"
#include "framework/Gbk.h"
#include "messenger/msgsvc/Listener.h"
#include "messenger/msgsvc/Popup.h"
#include "messenger/msgsvc/PopupText.h"
#include "messenger/msgsvc/ServiceConfig.h"
#include "messenger/msgsvc/ServiceFiles.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

using namespace lv::messenger;

constexpr UINT kShowPopup = WM_APP + 1; // lParam: heap std::string, owned by the receiver

struct Service {
    HINSTANCE instance = nullptr;
    HWND courier = nullptr; // message-only window: the network thread posts pop-ups here
    ServiceConfig config;
    std::wstring logPath;
    std::mutex logLock;
    // Pop-ups open or on their way to the UI thread. Counted by the network thread before
    // it accepts a message, so the limit holds however fast messages come.
    std::atomic<int> popups{0};
    std::atomic<long> delivered{0};

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
        int open = popups.load();
        do {
            if (open >= config.maxPopups) {
                Log("pop-up limit reached, message from " + HeaderField(message.sender) +
                    " refused");
                return false;
            }
        } while (!popups.compare_exchange_weak(open, open + 1));

        SYSTEMTIME t;
        GetLocalTime(&t);
        auto text = std::make_unique<std::string>(PopupText(
            message, PopupTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond)));
        if (!PostMessageW(courier, kShowPopup, 0, reinterpret_cast<LPARAM>(text.get()))) {
            --popups;
            return false;
        }
        text.release();
        long n = ++delivered;
        Log("delivered " + std::to_string(n) + " from " + HeaderField(message.sender) + " to " +
            HeaderField(message.recipient) + ", " + std::to_string(message.text.size()) + " bytes");
        return true;
    }
};

Service* g_service = nullptr;

LRESULT CALLBACK CourierProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kShowPopup) {
        std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lp));
        Service* service = g_service;
        try {
            if (!ShowPopup(service->instance, *text, [service] { --service->popups; })) {
                --service->popups;
                service->Log("a pop-up could not be created");
            }
        } catch (...) {
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
    if (!service.config.error.empty()) {
        service.Report("msgsvc.ini: " + service.config.error);
        return 1;
    }

    // Held until the process ends; the system removes it then.
    std::string where = service.config.address + ":" + std::to_string(service.config.port);
    HANDLE mutex =
        CreateMutexW(nullptr, TRUE, lv::ToWide(ServiceMutexName(service.config)).c_str());
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        service.Report("already running for " + where);
        return 3;
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
