// What a program test keeps for a person to look at after it ran: a directory of its own
// under the build tree, with the install directories, the logs and a screenshot of each step.
#pragma once

#include "desktop.h"

#include <filesystem>
#include <string>

namespace e2e {

/** The running test's artefact directory, emptied when the test first asks for it. */
std::filesystem::path ArtefactDir();

/** Numbered screenshots of the steps of one test: "01-login.png", "02-registered.png"... */
class StepShots
{
  public:
    explicit StepShots(Desktop &desktop) : desktop_(desktop) {}
    /** Saves the screen as the next step's picture; its path ("" when it could not). */
    std::string Take(const std::string &step);

  private:
    Desktop &desktop_;
    int next_ = 1;
};

} // namespace e2e
