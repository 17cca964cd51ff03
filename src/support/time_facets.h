// Date parsing that also accepts the user's date separator between the fields.
#pragma once

#include <cstddef>
#include <ctime>
#include <iterator>
#include <locale>

namespace Orx {

// Reads day, month and year as numbers in the named locale's date order (month-day-year when
// the locale gives none), separated by ":", ",", "/" or the user's date separator.
template <class CharT, class InputIt = std::istreambuf_iterator<CharT>>
class time_get : public std::time_get<CharT, InputIt> {
 public:
  using iter_type = InputIt;
  using dateorder = std::time_base::dateorder;

  // The user's date separator is that of LocaleInfo::Instance(), asked on the first parse.
  explicit time_get(const char* name, std::size_t refs = 0);
  // The user's date separator given; 0 adds none.
  time_get(const char* name, CharT dateSeparator, std::size_t refs = 0);

 protected:
  dateorder do_date_order() const override;
  iter_type do_get_date(iter_type begin, iter_type end, std::ios_base& io, std::ios_base::iostate& state,
                        std::tm* time) const override;

 private:
  CharT DateSeparator() const;

  dateorder order_;
  bool separatorGiven_;
  CharT separator_;
};

template <class CharT, class InputIt = std::istreambuf_iterator<CharT>>
class time_getEx : public time_get<CharT, InputIt> {
 public:
  using time_get<CharT, InputIt>::time_get;
};

extern template class time_get<wchar_t>;

}  // namespace Orx
