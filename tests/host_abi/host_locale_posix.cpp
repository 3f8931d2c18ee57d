// SetLocale leaves the host process's locale alone.  The host is a
// multi-threaded program with its own idea of how numbers are read and
// printed; a Russian locale set behind its back makes strtod("2.5") give 2
// and printf("%.2f", 1.5) give "1,50".
//
// The Russian locale is compiled by localedef from the system's locale
// sources into a folder of this test's own and found through LOCPATH, so the
// test does not depend on which locales the machine has installed.
#include <sys/wait.h>
#include <unistd.h>

#include <langinfo.h>
#include <locale.h>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/host_abi/host_fixture.h"

// glibc's setlocale keeps its copy of LOCPATH (built with __argz_add_sep)
// when a locale is set from it; that is the C library's, not ours, and not
// something a leak check of this program should report.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:__argz_add_sep\n";
}

namespace rawhost {
namespace {

namespace fs = std::filesystem;

constexpr char kLocaleSources[] = "/usr/share/i18n/locales/ru_RU";
constexpr char kRussian[] = "ru_RU";

// Runs a program with its arguments; true when it exits with 0.
bool RunProgram(const std::vector<std::string>& argv) {
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

class HostLocale : public HostTest {
  protected:
    static void SetUpTestSuite() {
        folder_ = fs::temp_directory_path() / ("rls-locale-" + std::to_string(getpid()));
        fs::create_directories(folder_);
        compiled_ =
            fs::exists(kLocaleSources) &&
            RunProgram({"localedef", "-i", kRussian, "-f", "UTF-8", (folder_ / kRussian).string()});
        setenv("LOCPATH", folder_.c_str(), 1);
    }
    static void TearDownTestSuite() {
        unsetenv("LOCPATH");
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    void SetUp() override {
        ASSERT_TRUE(compiled_) << "no Russian locale could be made from " << kLocaleSources
                               << " (Debian package 'locales')";
        // The locale really is Russian: a comma separates the decimals.
        locale_t russian = newlocale(LC_ALL_MASK, kRussian, nullptr);
        ASSERT_NE(russian, nullptr);
        EXPECT_STREQ(nl_langinfo_l(RADIXCHAR, russian), ",");
        freelocale(russian);
        HostTest::SetUp();
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        HostTest::TearDown();
    }

    static std::string Printed(double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", value);
        return text;
    }

    static fs::path folder_;
    static bool compiled_;
};

fs::path HostLocale::folder_;
bool HostLocale::compiled_ = false;

TEST_F(HostLocale, SetLocaleChangesNothingTheHostSees) {
    const struct {
        const char* hostLocale;
        const char16_t* askedFor;
    } cases[] = {
        {"C", u"ru_RU"},  {"C", u"ru_RU.UTF-8"},
        {"C", u""},  // "" would mean: take it from the environment
        {kRussian, u"C"}, {kRussian, u"en_US"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hostLocale);
        ASSERT_NE(std::setlocale(LC_ALL, c.hostLocale), nullptr);
        const std::string before = std::setlocale(LC_ALL, nullptr);
        const std::string printedBefore = Printed(1.5);
        const double readBefore = std::strtod("2,5", nullptr) + std::strtod("2.5", nullptr);

        addin_.SetLocale(c.askedFor);

        EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
        EXPECT_EQ(uselocale(nullptr), LC_GLOBAL_LOCALE);  // no thread locale either
        EXPECT_EQ(Printed(1.5), printedBefore);
        EXPECT_EQ(std::strtod("2,5", nullptr) + std::strtod("2.5", nullptr), readBefore);
    }
    // The C locale reads and prints with a point, Russian with a comma.
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(Printed(1.5), "1.50");
    std::setlocale(LC_ALL, kRussian);
    EXPECT_EQ(Printed(1.5), "1,50");
}

}  // namespace
}  // namespace rawhost
