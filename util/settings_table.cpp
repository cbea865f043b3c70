#include "util/settings_table.h"

#include <algorithm>
#include <charconv>

namespace lyrvox {
namespace {

std::optional<long long> wholeNumber(const std::string& text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin != end && *begin == ' ') ++begin;
    while (end != begin && end[-1] == ' ') --end;
    if (begin != end && *begin == '+') ++begin;
    long long value = 0;
    const auto [at, error] = std::from_chars(begin, end, value);
    if (begin == end || error != std::errc() || at != end) return std::nullopt;
    return value;
}

}  // namespace

int settingNumber(const Setting& setting, const std::optional<std::string>& stored) {
    std::optional<long long> value = stored ? wholeNumber(*stored) : std::nullopt;
    if (!value) value = wholeNumber(setting.defaultText);
    return static_cast<int>(std::clamp<long long>(value.value_or(0), setting.min, setting.max));
}

}  // namespace lyrvox
