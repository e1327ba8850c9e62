// Date format models: TO_CHAR and TO_DATE with a model ("DD-MON-RR", "YYYY-MM-DD HH24:MI:SS"),
// parsed once into elements and cached.
#include "engine/values/date.h"

#include <fmt/format.h>
#include <algorithm>
#include <array>
#include <ctime>
#include <vector>
#include "base/text.h"
#include "engine/values/date_internal.h"

namespace volmek::engine {

using namespace date_internal;

namespace {

// One element of a format model.
enum class Element {
  kLiteral,
  kFillMode,
  kExact,
  kYyyy,
  kYyy,
  kYy,
  kY,
  kRrrr,
  kRr,
  kMm,
  kMon,
  kMonth,
  kRm,
  kDd,
  kDdd,
  kD,
  kDy,
  kDay,
  kHh,
  kHh24,
  kMi,
  kSs,
  kSssss,
  kAm,
  kAmDots,
  kJ,
  kQ,
  kWw,
  kW,
  kCc,
  kIw,
  kIyyy,
  kIyy,
  kIy,
  kI,
};

enum class WordCase { kUpper, kCapitalized, kLower };

struct Token {
  Element element = Element::kLiteral;
  std::string_view literal;  // kLiteral: the text to copy (quotes removed)
  bool quoted = false;
  WordCase word_case = WordCase::kUpper;
};

struct ElementName {
  std::string_view name;
  Element element;
};

// Longest names first, so that a prefix never hides a longer element.
constexpr std::array<ElementName, 37> kElementNames = {{
    {"SSSSS", Element::kSssss}, {"MONTH", Element::kMonth}, {"HH24", Element::kHh24},
    {"IYYY", Element::kIyyy},   {"IYY", Element::kIyy},     {"IW", Element::kIw},
    {"IY", Element::kIy},       {"I", Element::kI},         {"HH12", Element::kHh},
    {"YYYY", Element::kYyyy},   {"RRRR", Element::kRrrr},   {"A.M.", Element::kAmDots},
    {"P.M.", Element::kAmDots}, {"YYY", Element::kYyy},     {"MON", Element::kMon},
    {"DDD", Element::kDdd},     {"DAY", Element::kDay},     {"YY", Element::kYy},
    {"RR", Element::kRr},       {"MM", Element::kMm},       {"RM", Element::kRm},
    {"DD", Element::kDd},       {"DY", Element::kDy},       {"HH", Element::kHh},
    {"MI", Element::kMi},       {"SS", Element::kSs},       {"AM", Element::kAm},
    {"PM", Element::kAm},       {"FM", Element::kFillMode}, {"FX", Element::kExact},
    {"WW", Element::kWw},       {"CC", Element::kCc},       {"Y", Element::kY},
    {"D", Element::kD},         {"J", Element::kJ},         {"Q", Element::kQ},
    {"W", Element::kW},
}};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (prefix.empty() || text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Upper(text[i]) != prefix[i]) return false;
  }
  return true;
}

bool IsPunctuation(char c) {
  return c == '-' || c == '/' || c == ',' || c == '.' || c == ';' || c == ':' || c == ' ';
}

OraResult<std::vector<Token>> Tokenize(std::string_view format) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < format.size()) {
    char c = format[i];
    if (c == '"') {
      std::size_t end = format.find('"', i + 1);
      if (end == std::string_view::npos) return OraErr(FormatNotRecognized());
      tokens.push_back({Element::kLiteral, format.substr(i + 1, end - i - 1), true});
      i = end + 1;
      continue;
    }
    bool matched = false;
    for (const ElementName& entry : kElementNames) {
      if (!StartsWithNoCase(format.substr(i), entry.name)) continue;
      Token token{entry.element, format.substr(i, entry.name.size())};
      WordCase word_case = WordCase::kUpper;
      if (IsLetter(c) && c >= 'a') {
        word_case = WordCase::kLower;
      } else if (entry.name.size() > 1 && format[i + 1] >= 'a' && format[i + 1] <= 'z') {
        word_case = WordCase::kCapitalized;
      }
      token.word_case = word_case;
      tokens.push_back(token);
      i += entry.name.size();
      matched = true;
      break;
    }
    if (matched) continue;
    if (!IsPunctuation(c)) return OraErr(FormatNotRecognized());
    tokens.push_back({Element::kLiteral, format.substr(i, 1)});
    ++i;
  }
  return tokens;
}

// The parsed form of the format models in use. Every date a query delivers or a load reads
// goes through the session's one or two models, so they are parsed once, not once per value.
// The tokens point into the entry's own copy of the model.
class FormatModelCache {
 public:
  OraResult<const std::vector<Token>*> Get(std::string_view format) {
    for (Entry& entry : entries_) {
      if (entry.used && entry.format == format) return &entry.tokens;
    }
    Entry& entry = entries_[next_];
    next_ = (next_ + 1) % entries_.size();
    entry.used = false;
    entry.format.assign(format);
    VK_ASSIGN_OR_ORA_RETURN(entry.tokens, Tokenize(entry.format));
    entry.used = true;
    return &entry.tokens;
  }

 private:
  struct Entry {
    bool used = false;
    std::string format;
    std::vector<Token> tokens;
  };
  std::array<Entry, 4> entries_;
  std::size_t next_ = 0;
};

OraResult<const std::vector<Token>*> ParsedFormat(std::string_view format) {
  thread_local FormatModelCache cache;
  return cache.Get(format);
}

void AppendWordCase(std::string& out, std::string_view upper_word, WordCase word_case) {
  for (std::size_t i = 0; i < upper_word.size(); ++i) {
    bool lower = word_case == WordCase::kLower || (word_case == WordCase::kCapitalized && i > 0);
    out.push_back(lower ? Lower(upper_word[i]) : upper_word[i]);
  }
}

// `value` in decimal, zero-padded to `width` digits unless in fill mode.
void AppendNumber(std::string& out, long long value, int width, bool fill_mode) {
  if (value < 0) {
    if (fill_mode) {
      fmt::format_to(std::back_inserter(out), "{}", value);
    } else {
      fmt::format_to(std::back_inserter(out), "{:0{}}", value, width);
    }
    return;
  }
  char digits[24];
  int count = 0;
  unsigned long long rest = static_cast<unsigned long long>(value);
  do {
    digits[count++] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  if (!fill_mode && width > count) out.append(static_cast<std::size_t>(width - count), '0');
  while (count > 0) out.push_back(digits[--count]);
}

void AppendWord(std::string& out, std::string_view upper_word, WordCase word_case, int pad,
                bool fill_mode) {
  AppendWordCase(out, upper_word, word_case);
  if (!fill_mode && static_cast<int>(upper_word.size()) < pad) {
    out.append(static_cast<std::size_t>(pad) - upper_word.size(), ' ');
  }
}

// Reads up to `max_digits` digits at *pos (after blanks). nullopt with the error when none.
OraResult<long long> ReadNumber(std::string_view text, std::size_t* pos, int max_digits,
                                int* digits_read) {
  while (*pos < text.size() && text[*pos] == ' ') ++*pos;
  if (*pos >= text.size()) return OraErr(InputTooShort());
  long long value = 0;
  int count = 0;
  while (*pos < text.size() && count < max_digits && IsDigit(text[*pos])) {
    value = value * 10 + (text[*pos] - '0');
    ++*pos;
    ++count;
  }
  if (count == 0) return OraErr(NotNumeric());
  *digits_read = count;
  return value;
}

std::string_view ReadWord(std::string_view text, std::size_t* pos) {
  while (*pos < text.size() && text[*pos] == ' ') ++*pos;
  std::size_t start = *pos;
  while (*pos < text.size() && IsLetter(text[*pos])) ++*pos;
  return text.substr(start, *pos - start);
}

}  // namespace

OraStatus CheckDateFormat(std::string_view format) {
  VK_ASSIGN_OR_ORA_RETURN(const std::vector<Token>* tokens, ParsedFormat(format));
  (void)tokens;
  return {};
}

OraResult<std::string> FormatDate(const Date& date, std::string_view format) {
  std::string out;
  VK_RETURN_IF_ORA_ERROR(AppendFormattedDate(date, format, out));
  return out;
}

OraStatus AppendFormattedDate(const Date& date, std::string_view format, std::string& out) {
  VK_ASSIGN_OR_ORA_RETURN(const std::vector<Token>* parsed, ParsedFormat(format));
  const std::vector<Token>& tokens = *parsed;
  // Names are looked up by month and weekday: a Date built by hand must be a real one.
  if (date.year < 1 || date.year > 9999) return OraErr(YearOutOfRange());
  if (date.month < 1 || date.month > 12) return OraErr(NotValidMonth());
  if (date.day < 1 || date.day > DaysInMonth(date.year, date.month)) {
    return OraErr(Ora(1847, "day of month must be between 1 and last day of month"));
  }
  if (date.hour < 0 || date.hour > 23 || date.minute < 0 || date.minute > 59 || date.second < 0 ||
      date.second > 59) {
    return OraErr(Ora(1850, "hour must be between 0 and 23"));
  }
  bool fill_mode = false;
  int hour12 = date.hour % 12 == 0 ? 12 : date.hour % 12;
  for (const Token& token : tokens) {
    switch (token.element) {
      case Element::kLiteral:
        out += token.literal;
        break;
      case Element::kFillMode:
        fill_mode = !fill_mode;
        break;
      case Element::kExact:
        break;
      case Element::kYyyy:
      case Element::kRrrr:
        AppendNumber(out, date.year, 4, fill_mode);
        break;
      case Element::kYyy:
        AppendNumber(out, date.year % 1000, 3, fill_mode);
        break;
      case Element::kYy:
      case Element::kRr:
        AppendNumber(out, date.year % 100, 2, fill_mode);
        break;
      case Element::kY:
        AppendNumber(out, date.year % 10, 1, fill_mode);
        break;
      case Element::kMm:
        AppendNumber(out, date.month, 2, fill_mode);
        break;
      case Element::kMon:
        AppendWord(out, kMonthNames[date.month - 1].substr(0, 3), token.word_case, 3, fill_mode);
        break;
      case Element::kMonth:
        AppendWord(out, kMonthNames[date.month - 1], token.word_case, 9, fill_mode);
        break;
      case Element::kRm:
        AppendWord(out, kRomanMonths[date.month - 1], token.word_case, 4, fill_mode);
        break;
      case Element::kDd:
        AppendNumber(out, date.day, 2, fill_mode);
        break;
      case Element::kDdd:
        AppendNumber(out, DayOfYear(date), 3, fill_mode);
        break;
      case Element::kD:
        AppendNumber(out, DayOfWeek(date), 1, fill_mode);
        break;
      case Element::kDy:
        AppendWord(out, kDayNames[DayOfWeek(date) - 1].substr(0, 3), token.word_case, 3, fill_mode);
        break;
      case Element::kDay:
        AppendWord(out, kDayNames[DayOfWeek(date) - 1], token.word_case, 9, fill_mode);
        break;
      case Element::kHh:
        AppendNumber(out, hour12, 2, fill_mode);
        break;
      case Element::kHh24:
        AppendNumber(out, date.hour, 2, fill_mode);
        break;
      case Element::kMi:
        AppendNumber(out, date.minute, 2, fill_mode);
        break;
      case Element::kSs:
        AppendNumber(out, date.second, 2, fill_mode);
        break;
      case Element::kSssss:
        AppendNumber(out, date.hour * 3600 + date.minute * 60 + date.second, 5, fill_mode);
        break;
      case Element::kAm:
        AppendWordCase(out, date.hour < 12 ? "AM" : "PM", token.word_case);
        break;
      case Element::kAmDots:
        AppendWordCase(out, date.hour < 12 ? "A.M." : "P.M.", token.word_case);
        break;
      case Element::kJ:
        AppendNumber(out, JulianDay(date), 7, fill_mode);
        break;
      case Element::kQ:
        AppendNumber(out, (date.month - 1) / 3 + 1, 1, fill_mode);
        break;
      case Element::kWw:
        AppendNumber(out, (DayOfYear(date) - 1) / 7 + 1, 2, fill_mode);
        break;
      case Element::kW:
        AppendNumber(out, (date.day - 1) / 7 + 1, 1, fill_mode);
        break;
      case Element::kCc:
        AppendNumber(out, (date.year + 99) / 100, 2, fill_mode);
        break;
      case Element::kIw:
        AppendNumber(out, IsoWeekOf(date).week, 2, fill_mode);
        break;
      case Element::kIyyy:
        AppendNumber(out, IsoWeekOf(date).year, 4, fill_mode);
        break;
      case Element::kIyy:
        AppendNumber(out, IsoWeekOf(date).year % 1000, 3, fill_mode);
        break;
      case Element::kIy:
        AppendNumber(out, IsoWeekOf(date).year % 100, 2, fill_mode);
        break;
      case Element::kI:
        AppendNumber(out, IsoWeekOf(date).year % 10, 1, fill_mode);
        break;
    }
  }
  return {};
}

OraResult<Date> ParseDate(std::string_view text, std::string_view format, const Date& now) {
  VK_ASSIGN_OR_ORA_RETURN(const std::vector<Token>* parsed, ParsedFormat(format));
  const std::vector<Token>& tokens = *parsed;
  long long year = now.year;
  long long month = now.month;
  long long day = 1;
  long long hour = 0;
  long long minute = 0;
  long long second = 0;
  std::optional<long long> day_of_year;
  std::optional<long long> julian;
  std::optional<long long> seconds_in_day;
  bool twelve_hour = false;
  std::optional<bool> afternoon;
  std::size_t pos = 0;
  int digits = 0;
  bool last_was_number = false;
  bool previous_was_number = false;
  for (const Token& token : tokens) {
    bool numeric_element = token.element != Element::kLiteral && token.element != Element::kMon &&
                           token.element != Element::kMonth && token.element != Element::kRm &&
                           token.element != Element::kDy && token.element != Element::kDay &&
                           token.element != Element::kAm && token.element != Element::kAmDots &&
                           token.element != Element::kFillMode && token.element != Element::kExact;
    if (token.element != Element::kFillMode && token.element != Element::kExact) {
      previous_was_number = last_was_number;
      last_was_number = numeric_element;
    }
    switch (token.element) {
      case Element::kLiteral: {
        if (token.quoted) {
          while (pos < text.size() && text[pos] == ' ') ++pos;
          if (StartsWithNoCase(text.substr(pos), UpperCase(token.literal))) {
            pos += token.literal.size();
          }
          break;
        }
        if (pos >= text.size()) break;
        // Punctuation may be left out next to a word ("15NOV2003"), not between two numbers.
        if (IsLetter(text[pos])) break;
        if (IsDigit(text[pos])) {
          if (previous_was_number) return OraErr(LiteralMismatch());
          break;
        }
        while (pos < text.size() && !IsLetter(text[pos]) && !IsDigit(text[pos])) ++pos;
        break;
      }
      case Element::kFillMode:
      case Element::kExact:
        break;
      case Element::kYyyy:
      case Element::kRrrr: {
        VK_ASSIGN_OR_ORA_RETURN(long long value, ReadNumber(text, &pos, 4, &digits));
        year = value;
        if (token.element == Element::kRrrr && digits <= 2) {
          long long century = now.year / 100 * 100;
          long long current = now.year % 100;
          year = century + value;
          if (current < 50 && value >= 50) year -= 100;
          if (current >= 50 && value < 50) year += 100;
        }
        break;
      }
      case Element::kYyy:
      case Element::kY: {
        int width = token.element == Element::kYyy ? 3 : 1;
        VK_ASSIGN_OR_ORA_RETURN(long long value, ReadNumber(text, &pos, width, &digits));
        long long unit = width == 3 ? 1000 : 10;
        year = now.year / unit * unit + value;
        break;
      }
      case Element::kYy:
      case Element::kRr: {
        // Forgiving: a four-digit year is taken as written.
        VK_ASSIGN_OR_ORA_RETURN(long long value, ReadNumber(text, &pos, 4, &digits));
        if (digits > 2) {
          year = value;
        } else if (token.element == Element::kYy) {
          year = now.year / 100 * 100 + value;
        } else {
          long long century = now.year / 100 * 100;
          long long current = now.year % 100;
          year = century + value;
          if (current < 50 && value >= 50) year -= 100;
          if (current >= 50 && value < 50) year += 100;
        }
        break;
      }
      case Element::kMm: {
        // Oracle tries MON and MONTH where MM does not match: a month name is accepted too.
        std::size_t word_at = pos;
        while (word_at < text.size() && text[word_at] == ' ') ++word_at;
        if (word_at < text.size() && IsLetter(text[word_at])) {
          pos = word_at;
          std::optional<int> found = FindName(ReadWord(text, &pos), kMonthNames);
          if (!found) return OraErr(NotValidMonth());
          month = *found + 1;
          break;
        }
        VK_ASSIGN_OR_ORA_RETURN(month, ReadNumber(text, &pos, 2, &digits));
        if (month < 1 || month > 12) return OraErr(NotValidMonth());
        break;
      }
      case Element::kMon:
      case Element::kMonth: {
        std::string_view word = ReadWord(text, &pos);
        if (word.empty() && pos >= text.size()) return OraErr(InputTooShort());
        std::optional<int> found = FindName(word, kMonthNames);
        if (!found) return OraErr(NotValidMonth());
        month = *found + 1;
        break;
      }
      case Element::kRm: {
        std::string_view word = ReadWord(text, &pos);
        std::optional<int> found;
        for (std::size_t i = 0; i < kRomanMonths.size(); ++i) {
          if (EqualsNoCase(word, kRomanMonths[i])) found = static_cast<int>(i);
        }
        if (!found) return OraErr(NotValidMonth());
        month = *found + 1;
        break;
      }
      case Element::kDd: {
        VK_ASSIGN_OR_ORA_RETURN(day, ReadNumber(text, &pos, 2, &digits));
        break;
      }
      case Element::kDdd: {
        VK_ASSIGN_OR_ORA_RETURN(long long value, ReadNumber(text, &pos, 3, &digits));
        day_of_year = value;
        break;
      }
      case Element::kD: {
        VK_ASSIGN_OR_ORA_RETURN(long long value, ReadNumber(text, &pos, 1, &digits));
        if (value < 1 || value > 7) return OraErr(Ora(1839, "date not valid for month specified"));
        break;
      }
      case Element::kDy:
      case Element::kDay: {
        std::string_view word = ReadWord(text, &pos);
        if (!FindName(word, kDayNames)) return OraErr(NotValidWeekday());
        break;
      }
      case Element::kHh:
      case Element::kHh24: {
        VK_ASSIGN_OR_ORA_RETURN(hour, ReadNumber(text, &pos, 2, &digits));
        twelve_hour = token.element == Element::kHh;
        break;
      }
      case Element::kMi: {
        VK_ASSIGN_OR_ORA_RETURN(minute, ReadNumber(text, &pos, 2, &digits));
        break;
      }
      case Element::kSs: {
        VK_ASSIGN_OR_ORA_RETURN(second, ReadNumber(text, &pos, 2, &digits));
        break;
      }
      case Element::kSssss: {
        VK_ASSIGN_OR_ORA_RETURN(long long value, ReadNumber(text, &pos, 5, &digits));
        seconds_in_day = value;
        break;
      }
      case Element::kAm:
      case Element::kAmDots: {
        while (pos < text.size() && text[pos] == ' ') ++pos;
        std::string_view rest = text.substr(pos);
        if (StartsWithNoCase(rest, "A.M.") || StartsWithNoCase(rest, "P.M.")) {
          afternoon = Upper(rest[0]) == 'P';
          pos += 4;
        } else if (StartsWithNoCase(rest, "AM") || StartsWithNoCase(rest, "PM")) {
          afternoon = Upper(rest[0]) == 'P';
          pos += 2;
        } else {
          return OraErr(Ora(1855, "AM/A.M. or PM/P.M. required"));
        }
        twelve_hour = true;
        break;
      }
      case Element::kJ: {
        VK_ASSIGN_OR_ORA_RETURN(long long value, ReadNumber(text, &pos, 7, &digits));
        julian = value;
        break;
      }
      case Element::kQ:
      case Element::kWw:
      case Element::kW:
      case Element::kCc:
      case Element::kIw:
      case Element::kIyyy:
      case Element::kIyy:
      case Element::kIy:
      case Element::kI:
        return OraErr(Ora(1820, "format code cannot appear in date input format"));
    }
  }
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos < text.size()) {
    return OraErr(Ora(1830, "date format picture ends before converting entire input string"));
  }
  if (julian) {
    if (*julian < 1721424 || *julian > 5373484) {
      return OraErr(Ora(1854, "julian date must be between 1 and 5373484"));
    }
    Date from_julian = FromJulianDay(*julian);
    year = from_julian.year;
    month = from_julian.month;
    day = from_julian.day;
  }
  if (year < 1 || year > 9999) return OraErr(YearOutOfRange());
  if (day_of_year) {
    int days_in_year = IsLeapYear(static_cast<int>(year)) ? 366 : 365;
    if (*day_of_year < 1 || *day_of_year > days_in_year) {
      return OraErr(Ora(1848, "day of year must be between 1 and 365 (366 for leap year)"));
    }
  }
  // A day no month has is ORA-01847; one this month lacks (30 February) ORA-01839.
  if (day < 1 || day > 31) {
    return OraErr(Ora(1847, "day of month must be between 1 and last day of month"));
  }
  if (day > DaysInMonth(static_cast<int>(year), static_cast<int>(month))) {
    return OraErr(Ora(1839, "date not valid for month specified"));
  }
  if (seconds_in_day) {
    if (*seconds_in_day > 86399) {
      return OraErr(Ora(1853, "seconds in day must be between 0 and 86399"));
    }
    hour = *seconds_in_day / 3600;
    minute = *seconds_in_day / 60 % 60;
    second = *seconds_in_day % 60;
  }
  if (twelve_hour) {
    if (hour < 1 || hour > 12) return OraErr(Ora(1849, "hour must be between 1 and 12"));
    if (hour == 12) hour = 0;
    if (afternoon.value_or(false)) hour += 12;
  } else if (hour > 23) {
    return OraErr(Ora(1850, "hour must be between 0 and 23"));
  }
  if (minute > 59) return OraErr(Ora(1851, "minute must be between 0 and 59"));
  if (second > 59) return OraErr(Ora(1852, "seconds must be between 0 and 59"));
  Date date{static_cast<int>(year), static_cast<int>(month),  static_cast<int>(day),
            static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second)};
  if (day_of_year) {
    CivilFromDays(DaysFromCivil(date.year, 1, 1) + *day_of_year - 1, &date.year, &date.month,
                  &date.day);
  }
  return date;
}

}  // namespace volmek::engine
