#pragma once
// A window timer on the main thread. An interval of 0 or a disabled timer does not fire.
#include <functional>

#include <windows.h>

namespace lv {

class TTimer {
  public:
    TTimer() = default;
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;
    ~TTimer();

    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned milliseconds);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    std::function<void()> OnTimer;

  private:
    friend class Application;
    void Restart();
    void Fire();

    unsigned interval_ = 1000;
    bool enabled_ = false;
    UINT_PTR id_ = 0;
};

} // namespace lv
