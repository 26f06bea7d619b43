// GeneralizedTime (X.680 46): date, time, milliseconds and the offset from UTC.
#pragma once

#include <ctime>
#include <string>

#include "asn1/abstract_data.h"

namespace ASN1 {

class GeneralizedTime : public AbstractData {
 public:
  static const TypeInfo theInfo;
  static AbstractData* create(const void* info);
  explicit GeneralizedTime(const void* info = &theInfo) : AbstractData(info) {}
  explicit GeneralizedTime(const char* text);
  GeneralizedTime(int year, int month, int day, int hour, int minute, int second, int millisec,
                  int mindiff, bool utc);

  // The widest offset from UTC, as hhmm.
  static constexpr int kMaxOffsetHhmm = 1400;

  // Reads "YYYYMMDDhhmmss", then an optional fraction ".fff", then "Z" or "+hhmm" / "-hhmm".
  // Fields the text does not give keep their values. False, changing nothing, when the 14
  // digits are missing or the offset is not digits, exceeds 1400 or has 60 minutes or more.
  bool set(const char* text);
  // "YYYYMMDDhhmmss", ".fff" when millisec is not 0, then "Z" when utc, else "+hhmm" or "-hhmm"
  // when mindiff is not 0.
  std::string get() const;
  // The date and time fields as a time_t, read as UTC shifted by mindiff (unless utc), so that
  // it inverts set_time_t.
  time_t get_time_t() const;
  // Sets the date and time fields from t as UTC time; the other fields are left.
  void set_time_t(time_t t);
  void swap(GeneralizedTime& other);
  bool isStrictlyValid() const;

  int year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisec = 0;
  int mindiff = 0;  // offset from UTC in minutes
  bool utc = false;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

}  // namespace ASN1
