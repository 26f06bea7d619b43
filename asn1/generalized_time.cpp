#include "asn1/generalized_time.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include <boost/polymorphic_cast.hpp>

#include "asn1/visitor.h"

namespace ASN1 {

namespace {

bool digits(const char* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] < '0' || p[i] > '9') return false;
  return true;
}

int number(const char* p, size_t n) {
  int v = 0;
  for (size_t i = 0; i < n; ++i) v = v * 10 + (p[i] - '0');
  return v;
}

}  // namespace

const TypeInfo GeneralizedTime::theInfo = {&GeneralizedTime::create, TagGeneralizedTime};

AbstractData* GeneralizedTime::create(const void* info) { return new GeneralizedTime(info); }

GeneralizedTime::GeneralizedTime(const char* text) : AbstractData(&theInfo) { set(text); }

GeneralizedTime::GeneralizedTime(int year_, int month_, int day_, int hour_, int minute_,
                                 int second_, int millisec_, int mindiff_, bool utc_)
    : AbstractData(&theInfo),
      year(year_),
      month(month_),
      day(day_),
      hour(hour_),
      minute(minute_),
      second(second_),
      millisec(millisec_),
      mindiff(mindiff_),
      utc(utc_) {}

bool GeneralizedTime::set(const char* text) {
  if (text == nullptr) return false;
  size_t len = std::strlen(text);
  if (len < 14 || !digits(text, 14)) return false;
  // An offset "+hhmm" / "-hhmm" lies within 14 hours, its minutes under 60: any other would
  // print differently from what was read.
  const bool utc_text = text[len - 1] == 'Z';
  const bool has_offset =
      !utc_text && len >= 19 && (text[len - 5] == '+' || text[len - 5] == '-');
  int offset = 0;
  if (has_offset) {
    if (!digits(text + len - 4, 4)) return false;
    const int hh = number(text + len - 4, 2);
    const int mm = number(text + len - 2, 2);
    if (mm >= 60 || hh * 100 + mm > kMaxOffsetHhmm) return false;
    offset = hh * 60 + mm;
  }
  year = number(text, 4);
  month = number(text + 4, 2);
  day = number(text + 6, 2);
  hour = number(text + 8, 2);
  minute = number(text + 10, 2);
  second = number(text + 12, 2);
  const char* p = text + 14;
  if (*p == '.') {
    ++p;
    int ms = 0;
    int scale = 100;
    for (; *p >= '0' && *p <= '9'; ++p, scale /= 10) ms += (*p - '0') * scale;
    millisec = ms;
  }
  if (utc_text) {
    utc = true;
  } else if (has_offset) {
    mindiff = text[len - 5] == '-' ? -offset : offset;
  }
  return true;
}

std::string GeneralizedTime::get() const {
  char buf[128];
  int n = std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", year, month, day, hour,
                        minute, second);
  if (millisec != 0) n += std::snprintf(buf + n, sizeof buf - n, ".%03d", millisec);
  if (utc) {
    std::snprintf(buf + n, sizeof buf - n, "Z");
  } else if (mindiff != 0) {
    long long m = mindiff < 0 ? -static_cast<long long>(mindiff) : mindiff;
    std::snprintf(buf + n, sizeof buf - n, "%c%02lld%02lld", mindiff < 0 ? '-' : '+', m / 60,
                  m % 60);
  }
  return buf;
}

time_t GeneralizedTime::get_time_t() const {
  struct tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  time_t v = timegm(&t);
  return utc ? v : v - static_cast<time_t>(mindiff) * 60;
}

void GeneralizedTime::set_time_t(time_t v) {
  struct tm t;
  if (gmtime_r(&v, &t) == nullptr) return;
  year = t.tm_year + 1900;
  month = t.tm_mon + 1;
  day = t.tm_mday;
  hour = t.tm_hour;
  minute = t.tm_min;
  second = t.tm_sec;
}

void GeneralizedTime::swap(GeneralizedTime& o) {
  std::swap(year, o.year);
  std::swap(month, o.month);
  std::swap(day, o.day);
  std::swap(hour, o.hour);
  std::swap(minute, o.minute);
  std::swap(second, o.second);
  std::swap(millisec, o.millisec);
  std::swap(mindiff, o.mindiff);
  std::swap(utc, o.utc);
}

bool GeneralizedTime::isStrictlyValid() const {
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour >= 0 &&
         hour <= 24 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59 &&
         mindiff >= -720 && mindiff <= 720;
}

int GeneralizedTime::do_compare(const AbstractData& other) const {
  const GeneralizedTime& o = *boost::polymorphic_downcast<const GeneralizedTime*>(&other);
  const int a[] = {year, month, day, hour, minute, second, millisec};
  const int b[] = {o.year, o.month, o.day, o.hour, o.minute, o.second, o.millisec};
  for (int i = 0; i < 7; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return int{utc} - int{o.utc};
}

AbstractData* GeneralizedTime::do_clone() const { return clone_through_record(*this); }
bool GeneralizedTime::do_accept(Visitor& v) { return v.do_visit(*this); }
bool GeneralizedTime::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

}  // namespace ASN1
