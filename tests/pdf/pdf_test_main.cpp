// The PDF tests run in the user's situation the writer must withstand: a German locale, whose decimal
// separator is ",", and a fixed time zone, so dates and document identifiers are known.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <fontconfig/fontconfig.h>
#include <locale>

namespace {

class GermanUtcEnvironment final : public ::testing::Environment
{
public:
    void SetUp() override
    {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
            << "the locale de_DE.UTF-8 is not installed";
        ASSERT_STREQ(std::localeconv()->decimal_point, ",");
        std::locale::global(std::locale("de_DE.UTF-8"));
    }
};

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new GermanUtcEnvironment);
    const int result = RUN_ALL_TESTS();
    FcFini(); // fontconfig's configuration lives until the program ends; release it for the leak check
    return result;
}
