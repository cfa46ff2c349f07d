#include "capture/Capture.h"

#include "capture/ArrivalNotice.h"
#include "capture/MessageSplit.h"
#include "messagelog/ReceiveRecord.h"
#include "framework/Gbk.h"
#include "framework/LateLoad.h"

#include <mmsystem.h>

#include <vector>

namespace lv {
namespace {

std::function<void(const std::wstring&)>& SoundPlayer() {
    static std::function<void(const std::wstring&)> player;
    return player;
}

void PlaySoundFile(const std::string& gbkPath) {
    std::wstring path = ToWide(gbkPath);
    if (SoundPlayer()) {
        SoundPlayer()(path);
        return;
    }
    // Returns at once; a file that cannot be played gives the system's default sound.
    static auto* play = LateFunctionAs<BOOL WINAPI(LPCWSTR, UINT)>(L"winmm.dll", "sndPlaySoundW");
    if (play)
        play(path.c_str(), SND_ASYNC);
}

std::wstring TitleOf(HWND hwnd) {
    wchar_t title[16] = {};
    int n = GetWindowTextW(hwnd, title, 16);
    return std::wstring(title, static_cast<size_t>(n));
}

// The text control's text in GBK, cut to the capture's limit at a character boundary.
std::string PopupText(HWND popup) {
    HWND control = GetDlgItem(popup, kPopupTextId);
    if (!control)
        return {};
    int length = GetWindowTextLengthW(control);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    // A GBK character takes at most two bytes: beyond this many characters the limit is
    // passed for sure, so the conversion never handles more than it needs.
    if (text.size() > kMaxPopupTextBytes)
        text.resize(kMaxPopupTextBytes);
    std::string gbk = ToGbk(text);
    while (gbk.size() > kMaxPopupTextBytes) {
        text.pop_back();
        gbk = ToGbk(text);
        // Shrink by more than one character at a time when far over.
        if (gbk.size() > kMaxPopupTextBytes + 64)
            text.resize(text.size() - (gbk.size() - kMaxPopupTextBytes) / 2);
    }
    return gbk;
}

LogTime Now() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return LogTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute};
}

} // namespace

void SetSoundPlayer(std::function<void(const std::wstring& file)> player) {
    SoundPlayer() = std::move(player);
}

TMessageCapture::TMessageCapture(MainHub& hub, TfrmReceive& receive,
                                 std::shared_ptr<MessageLog> receiveLog)
    : hub_(hub), receive_(receive), receiveLog_(std::move(receiveLog)) {}

std::vector<HWND> TMessageCapture::FindReadyPopups() {
    // One pass over the top-level windows. FindWindowEx by title, called once per match,
    // walks the whole list each time: with hundreds of pop-ups waiting that is hundreds of
    // walks a look, and the look itself became the bottleneck of a burst.
    struct Search {
        std::wstring title;
        std::vector<HWND> found;
    } search{ToWide(kPopupTitle), {}};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            if (TitleOf(hwnd) == s->title)
                s->found.push_back(hwnd);
            return s->found.size() <= 4096;
        },
        reinterpret_cast<LPARAM>(&search));
    std::vector<HWND>& popups = search.found;
    // Forget the windows that have gone.
    std::erase_if(taken_, [&](HWND h) { return !IsWindow(h); });
    std::erase_if(unready_, [&](const auto& entry) { return !IsWindow(entry.first); });

    // The windows come top first, and a new pop-up opens on top of the older ones: from the
    // bottom up they are oldest first, so a burst is queued in the order it arrived.
    const DWORD now = GetTickCount();
    std::vector<HWND> ready;
    for (auto it = popups.rbegin(); it != popups.rend(); ++it) {
        HWND popup = *it;
        if (taken_.count(popup))
            continue;
        HWND control = GetDlgItem(popup, kPopupTextId);
        bool isReady = control && GetWindowTextLengthW(control) > 0;
        if (!isReady) {
            auto [entry, inserted] = unready_.try_emplace(popup, now);
            // After the grace it is taken as it is: empty sender and body.
            isReady = !inserted && now - entry->second >= kPopupGraceMs;
        }
        if (isReady)
            ready.push_back(popup);
    }
    return ready;
}

int TMessageCapture::Tick() {
    lookPosted_ = false;
    // A look that follows one cut short goes on with what that one found: finding is the
    // costly part with many pop-ups open, and what opened since is newer anyway.
    if (pending_.empty()) {
        std::vector<HWND> ready = FindReadyPopups();
        pending_.assign(ready.begin(), ready.end());
    }
    // Read what the slice allows, oldest first...
    const DWORD start = GetTickCount();
    std::vector<Taken> batch;
    while (!pending_.empty()) {
        if (!batch.empty() && GetTickCount() - start >= kCaptureSliceMs) {
            LookSoon(); // the rest on the next turn, after what else waits
            break;
        }
        HWND popup = pending_.front();
        pending_.pop_front();
        if (!IsWindow(popup) || taken_.count(popup))
            continue;
        SplitMessage message = SplitPopupText(PopupText(popup));
        std::string record = ReceiveRecordText(Now(), message.sender, message.body);
        batch.push_back(Taken{popup, std::move(message), std::move(record)});
    }
    if (batch.empty()) {
        FlushStatus();
        Announce();
        return 0;
    }
    // ...put the records on disk with one flush (the log's journal), and only then close
    // the pop-ups: a crash between the two leaves a pop-up to be taken again, never a closed
    // pop-up with no record.
    std::vector<std::string> records;
    for (const Taken& t : batch)
        records.push_back(t.record);
    LogWrite written = receiveLog_->Prepend(records);
    for (Taken& t : batch)
        Close(t, written);
    // A burst's lines wait for its end (or half a second): each change of a long text costs
    // the status area's edit control a new layout of all of it.
    if (pending_.empty() || GetTickCount() - statusSince_ >= 500)
        FlushStatus();
    // Once a look, not once a message: a burst is one chime.
    const Settings& settings = hub_.CurrentSettings();
    if (settings.EnableSound)
        PlaySoundFile(settings.SoundFile);
    hub_.SetFlashing(true);
    unannounced_ += static_cast<int>(batch.size());
    newest_ = batch.back().message;
    Announce();
    if (settings.ShowReceived)
        receive_.ShowWithoutActivating();
    return static_cast<int>(batch.size());
}

void TMessageCapture::Announce() {
    if (unannounced_ == 0)
        return;
    // Read already (the received-message window showed the last of them), or not wanted.
    if (!hub_.Flashing() || !hub_.CurrentSettings().ArrivalNotice) {
        unannounced_ = 0;
        return;
    }
    const DWORD now = GetTickCount();
    if (noticeShown_ && now - lastNotice_ < kNoticeSpacingMs)
        return;
    ArrivalNoticeText notice = ArrivalNotice(unannounced_, newest_.sender, newest_.body);
    // Without an icon in the notification area there is nothing to show it from; the
    // messages are still counted, and the next look tries again.
    if (!hub_.ShowArrivalNotice(notice.title, notice.text))
        return;
    unannounced_ = 0;
    noticeShown_ = true;
    lastNotice_ = now;
}

void TMessageCapture::FlushStatus() {
    statusSince_ = GetTickCount();
    if (lines_.empty())
        return;
    std::string lines;
    for (const std::string& line : lines_)
        lines += (lines.empty() ? "" : "\r\n") + line;
    lines_.clear();
    hub_.AddStatusLine(lines);
}

void TMessageCapture::LookSoon() {
    if (!notices_ || lookPosted_)
        return;
    lookPosted_ = PostMessageW(notices_->Handle(), lookMessage_, 0, 0) != FALSE;
}

void TMessageCapture::ListenForNotices() {
    if (notices_)
        return;
    notices_ =
        std::make_unique<MessageWindow>(MessageWindow::Kind::kMessageOnly, kCaptureNoticeClass);
    lookMessage_ = notices_->OnRegistered(kCaptureNoticeMessage, [this](WPARAM, LPARAM) {
        Tick();
        return 0;
    });
}

void TMessageCapture::Close(Taken& taken, LogWrite written) {
    // Not waited for: its record is safe already, and a pop-up that lingers is not taken
    // again (taken_). Waiting for another program to destroy each window made its work and
    // ours add up, one pop-up after the other, in a burst; a hung one cannot hang this
    // one either. A window of this thread is closed before the call returns.
    HWND popup = taken.popup;
    SendNotifyMessageW(popup, WM_CLOSE, 0, 0);
    unready_.erase(popup);
    if (IsWindow(popup))
        taken_.insert(popup);
    const SplitMessage& message = taken.message;

    bool queued = receive_.EnqueueMessage(message.body, message.sender);
    if (queued) {
        queueFullReported_ = false;
    } else if (!queueFullReported_) {
        queueFullReported_ = true;
        lines_.push_back("已有500条信息等待阅读，新信息不再排队，只记入聊天记录。");
    }

    switch (written) {
    case LogWrite::Written:
        if (writeFailureReported_)
            lines_.push_back("receive.txt又可以写入了，聊天记录已经保存。");
        writeFailureReported_ = false;
        break;
    case LogWrite::Failed:
        // The record waits in memory and goes into the file with the next write.
        if (!writeFailureReported_)
            lines_.push_back("无法写入receive.txt，聊天记录暂存在内存中，收到下一条信息时再试。");
        writeFailureReported_ = true;
        break;
    case LogWrite::Held:
        break; // said at start-up
    }

    lines_.push_back("收到信息！");
}

} // namespace lv
