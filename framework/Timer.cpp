#include "framework/Timer.h"

#include "framework/Application.h"

namespace lv {

TTimer::~TTimer() {
    if (id_)
        App().StopTimer(id_);
}

void TTimer::SetInterval(unsigned milliseconds) {
    interval_ = milliseconds;
    Restart();
}

void TTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Restart();
}

void TTimer::Restart() {
    if (id_) {
        App().StopTimer(id_);
        id_ = 0;
    }
    if (enabled_ && interval_ > 0)
        id_ = App().StartTimer(this, interval_);
}

void TTimer::Fire() {
    if (enabled_ && OnTimer)
        OnTimer();
}

} // namespace lv
