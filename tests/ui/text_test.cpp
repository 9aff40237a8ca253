#include <gtest/gtest.h>

#include <random>

#include "ui.h"

namespace {

TEST(TextToInteger, ReadsSignsBasesAndStopsAtTheFirstNonDigit) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"25", 25},        {"  -17x", -17},   {"$1F", 31},   {"$fg", 15},   {"%101", 5},
      {"%102", 2},       {"", 0},           {"abc", 0},    {"- 5", 0},    {"$", 0},
      {"0x10", 0},       {"25.9", 25},      {"1e3", 1},    {"\t+30", 30}, {"  12fps", 12},
      {"1.5", 1},        {"$19", 25},       {"%11001", 25}, {"1001", 1001}, {"-5", -5},
      {"4294967296", 4294967296LL}, {"18446744073709551617", 1}, {"18446744073709551615", -1},
      {"-9223372036854775808", INT64_MIN}};
  for (const auto& [text, value] : cases) EXPECT_EQ(textToInteger(text), value) << '"' << text << '"';
}

TEST(TextConversion, RandomTextsAndRoundTrips) {
#if !defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "run by the sanitizer build, where it shows that no text reaches undefined behaviour";
#endif
  std::mt19937_64 random(99);
  const std::string alphabet = " \t+-$%0123456789abcdefABCDEFxyz.\xF6";
  for (int i = 0; i < 200000; ++i) {
    std::string text(random() % 30, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    textToInteger(text);
    const auto value = static_cast<std::int64_t>(random() >> 1);
    ASSERT_EQ(textToInteger(integerToText(static_cast<std::uint64_t>(value))), value);
  }
}

}  // namespace
