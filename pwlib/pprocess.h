// PProcess: the one process object, with the program's names and version.
#pragma once

#include <pwlib/pthread.h>

/// The program's process object. Exactly one is constructed, before any other object of
/// the library is used (a global or a member of the application object is fine). It
/// stands for the thread that constructs it; its Main() is never run by anyone.
class PProcess : public PThread
{
    PCLASSINFO(PProcess, PThread)
  public:
    enum CodeStatus { AlphaCode, BetaCode, ReleaseCode };

    /// A second process object reports an assertion and Current() stays the first.
    PProcess(const char *manufacturer = "", const char *productName = "", WORD majorVersion = 1,
             WORD minorVersion = 0, CodeStatus status = ReleaseCode, WORD buildNumber = 1);
    ~PProcess() override;

    /// The process object. When the program has not made one (tests, tools), a default one
    /// named after the executable stands in.
    static PProcess &Current();

    const PString &GetManufacturer() const { return manufacturer_; }
    /// The product name, or the executable's name when none was given.
    const PString &GetName() const { return productName_; }
    /// "major.minor" and, when full, the status and build: "1.0.1" for a release with
    /// build 1, "1.0alpha1" and "1.0beta1" otherwise.
    PString GetVersion(BOOL full = TRUE) const;
    WORD GetMajorVersion() const { return major_; }
    WORD GetMinorVersion() const { return minor_; }
    WORD GetBuildNumber() const { return build_; }
    CodeStatus GetStatus() const { return status_; }
    /// The login name of the user running the program.
    PString GetUserName() const;

  protected:
    /// The stand-in process object of Current(), bound to no thread.
    explicit PProcess(AdoptTag);

  private:
    void Register();

    PString manufacturer_;
    PString productName_;
    WORD major_;
    WORD minor_;
    CodeStatus status_;
    WORD build_;
};
