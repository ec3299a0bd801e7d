#pragma once
// Calendar time in whole seconds and spans between times. The current time
// comes from the platform clock, so tests can inject it. Broken-down parts
// and Format use local time.
#include <ctime>

#include "framework/cstring.h"

class CTimeSpan {
 public:
  CTimeSpan() = default;
  CTimeSpan(std::time_t seconds) : span_(seconds) {}
  CTimeSpan(long days, int hours, int minutes, int seconds);

  long GetDays() const { return static_cast<long>(span_ / 86400); }
  int GetHours() const { return static_cast<int>(span_ / 3600 % 24); }
  int GetMinutes() const { return static_cast<int>(span_ / 60 % 60); }
  int GetSeconds() const { return static_cast<int>(span_ % 60); }
  long GetTotalHours() const { return static_cast<long>(span_ / 3600); }
  long GetTotalMinutes() const { return static_cast<long>(span_ / 60); }
  std::time_t GetTotalSeconds() const { return span_; }

  CTimeSpan operator+(CTimeSpan other) const { return span_ + other.span_; }
  CTimeSpan operator-(CTimeSpan other) const { return span_ - other.span_; }
  auto operator<=>(const CTimeSpan&) const = default;

 private:
  std::time_t span_ = 0;
};

class CTime {
 public:
  CTime() = default;
  CTime(std::time_t time) : time_(time) {}
  // Local time; dst < 0 lets the C library decide whether summer time applies.
  CTime(int year, int month, int day, int hour, int minute, int second, int dst = -1);

  static CTime GetCurrentTime();

  std::time_t GetTime() const { return time_; }
  int GetYear() const;
  int GetMonth() const;  // 1..12
  int GetDay() const;    // 1..31
  int GetHour() const;
  int GetMinute() const;
  int GetSecond() const;
  int GetDayOfWeek() const;  // 1 = Sunday

  // strftime codes, local time and UTC.
  CString Format(LPCSTR format) const;
  CString FormatGmt(LPCSTR format) const;

  CTimeSpan operator-(CTime other) const { return time_ - other.time_; }
  CTime operator+(CTimeSpan span) const { return time_ + span.GetTotalSeconds(); }
  CTime operator-(CTimeSpan span) const { return time_ - span.GetTotalSeconds(); }
  CTime& operator+=(CTimeSpan span) {
    time_ += span.GetTotalSeconds();
    return *this;
  }
  CTime& operator-=(CTimeSpan span) {
    time_ -= span.GetTotalSeconds();
    return *this;
  }
  auto operator<=>(const CTime&) const = default;

 private:
  std::tm local() const;
  std::time_t time_ = 0;
};
