// Artefact directories of the program tests.
#include "artefacts.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace e2e
{

std::filesystem::path ArtefactDir()
{
    static std::string prepared;
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "none";
    for (char &c : name)
        if (c == '/')
            c = '.';
    std::filesystem::path dir = std::filesystem::path(E2E_ARTEFACTS) / name;
    if (prepared != name) {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        std::filesystem::create_directories(dir, ec);
        prepared = name;
    }
    return dir;
}

std::string StepShots::Take(const std::string &step)
{
    char number[8];
    std::snprintf(number, sizeof number, "%02d-", next_++);
    std::string path = (ArtefactDir() / (number + step + ".png")).string();
    if (!desktop_.Screenshot(path)) {
        ADD_FAILURE() << "no screenshot of step " << step;
        return {};
    }
    return path;
}

} // namespace e2e
