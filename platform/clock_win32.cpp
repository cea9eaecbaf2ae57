// Win32 side of the clock: the system time, the tick count and the thread-safe localtime.
#include <windows.h>

#include <time.h>

#include "platform/clock.h"
#include "platform/local_time.h"

namespace korvalen {
namespace {

CalendarTime FromSystemTime(const SYSTEMTIME& st) {
    return CalendarTime{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                        st.wMinute, st.wSecond, st.wMilliseconds};
}

class Win32Clock final : public Clock {
  public:
    CalendarTime LocalNow() const override {
        SYSTEMTIME st;
        GetLocalTime(&st);
        return FromSystemTime(st);
    }
    CalendarTime UtcNow() const override {
        SYSTEMTIME st;
        GetSystemTime(&st);
        return FromSystemTime(st);
    }
    std::uint32_t TickCountMs() const override { return GetTickCount(); }
};

}  // namespace

bool ToLocalTm(std::time_t t, std::tm& out) {
    return localtime_s(&out, &t) == 0;
}

Clock& SystemClock() {
    static Win32Clock clock;
    return clock;
}

}  // namespace korvalen
