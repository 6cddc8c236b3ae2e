// Checking and limiting the account name a player typed (UTF-8).
#pragma once

#include <cstddef>
#include <string>

// The most code points an account name may have.
inline constexpr size_t kMaxAccountNameCodePoints = 320;

// Counts the code points of `text`; false when it is not valid UTF-8 (a stray continuation byte,
// a truncated sequence, an over-long form, a surrogate or a value beyond U+10FFFF).
bool CountUtf8CodePoints(const std::string& text, size_t& count);

// The first `limit` code points of valid UTF-8 `text`.
std::string TruncateUtf8(const std::string& text, size_t limit);
