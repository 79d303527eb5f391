// Linked into test programs whose code reads 8-bit text in the locale's codeset (the MAPI runtime,
// the directory exports): they run in UTF-8.
#include <gtest/gtest.h>

#include <clocale>

namespace {

class Utf8Locale : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new Utf8Locale);

} // namespace
