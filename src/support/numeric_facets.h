// Numeric punctuation facets that stop every stream from grouping digits.
#pragma once

#include <cstddef>
#include <locale>
#include <string>

// The named locale's decimal point, thousands separator and boolean names, but no grouping.
template <class CharT>
class NoThousandsSep : public std::numpunct_byname<CharT> {
 public:
  explicit NoThousandsSep(const char* name, std::size_t refs = 0) : std::numpunct_byname<CharT>(name, refs) {}

 protected:
  std::string do_grouping() const override { return std::string(); }
};

// For a runtime whose named locale does not carry the user's own separators: they are given.
template <class CharT>
class CRTBug_UserRadix_NoThousandsSep : public NoThousandsSep<CharT> {
 public:
  CRTBug_UserRadix_NoThousandsSep(const char* name, CharT decimalPoint, CharT thousandsSeparator, std::size_t refs = 0)
      : NoThousandsSep<CharT>(name, refs), decimalPoint_(decimalPoint), thousandsSeparator_(thousandsSeparator) {}

 protected:
  CharT do_decimal_point() const override { return decimalPoint_; }
  CharT do_thousands_sep() const override { return thousandsSeparator_; }

 private:
  CharT decimalPoint_;
  CharT thousandsSeparator_;
};
