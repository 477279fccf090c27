// The regular-expression library is linked in its 16-bit form with JIT.
#include <gtest/gtest.h>

#include <pcre2.h>

TEST(Pcre2Link, CompilesAndMatchesUtf16Pattern) {
  const wchar_t pattern[] = L"(\\d+)-(\\w+)\u00E9";
  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, PCRE2_UTF, &error,
                                   &errorOffset, nullptr);
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(pcre2_jit_compile(code, PCRE2_JIT_COMPLETE), 0);
  pcre2_match_data* match = pcre2_match_data_create_from_pattern(code, nullptr);
  const wchar_t subject[] = L"abc 123-xyz\u00E9 tail";
  int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject), PCRE2_ZERO_TERMINATED, 0, 0, match, nullptr);
  ASSERT_EQ(rc, 3);
  PCRE2_SIZE* offsets = pcre2_get_ovector_pointer(match);
  EXPECT_EQ(offsets[2], 4u);  // "123"
  EXPECT_EQ(offsets[3], 7u);
  EXPECT_EQ(offsets[4], 8u);  // "xyz"
  EXPECT_EQ(offsets[5], 11u);
  pcre2_match_data_free(match);
  pcre2_code_free(code);
}
