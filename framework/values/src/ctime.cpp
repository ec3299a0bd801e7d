#include "framework/ctime.h"

#include "platform/clock.h"

CTimeSpan::CTimeSpan(long days, int hours, int minutes, int seconds)
    : span_(((static_cast<std::time_t>(days) * 24 + hours) * 60 + minutes) * 60 + seconds) {}

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int dst) {
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  parts.tm_isdst = dst;
  time_ = std::mktime(&parts);
}

CTime CTime::GetCurrentTime() {
  return CTime(wf::now());
}

std::tm CTime::local() const {
  std::tm parts{};
  localtime_r(&time_, &parts);
  return parts;
}

int CTime::GetYear() const {
  return local().tm_year + 1900;
}
int CTime::GetMonth() const {
  return local().tm_mon + 1;
}
int CTime::GetDay() const {
  return local().tm_mday;
}
int CTime::GetHour() const {
  return local().tm_hour;
}
int CTime::GetMinute() const {
  return local().tm_min;
}
int CTime::GetSecond() const {
  return local().tm_sec;
}
int CTime::GetDayOfWeek() const {
  return local().tm_wday + 1;
}

namespace {

CString formatParts(LPCSTR format, const std::tm& parts) {
  if (!format || !*format) return CString();
  char buffer[256];
  std::size_t n = std::strftime(buffer, sizeof buffer, format, &parts);
  return CString(buffer, static_cast<int>(n));
}

}  // namespace

CString CTime::Format(LPCSTR format) const {
  return formatParts(format, local());
}

CString CTime::FormatGmt(LPCSTR format) const {
  std::tm parts{};
  gmtime_r(&time_, &parts);
  return formatParts(format, parts);
}
