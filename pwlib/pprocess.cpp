// PProcess: the single registered process object, its names, version and user.
#include <pwlib/passert.h>
#include <pwlib/pprocess.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace
{

std::atomic<PProcess *> theProcess{nullptr};
std::atomic<bool> theProcessIsDefault{false};

std::mutex &RegistryMutex()
{
    static std::mutex mutex;
    return mutex;
}

PString ExecutableName()
{
    char path[4096];
    ssize_t len = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (len <= 0)
        return PString("kestrelin");
    path[len] = '\0';
    PString full(path);
    PINDEX slash = full.FindLast('/');
    return slash == P_MAX_INDEX ? full : full.Mid(slash + 1);
}

class DefaultProcess : public PProcess
{
    PCLASSINFO(DefaultProcess, PProcess)
  public:
    DefaultProcess() : PProcess(AdoptTag()) {}
    void Main() override {}
};

} // namespace

PProcess::PProcess(const char *manufacturer, const char *productName, WORD majorVersion,
                   WORD minorVersion, CodeStatus status, WORD buildNumber)
    : PThread(AdoptTag()), manufacturer_(manufacturer), productName_(productName),
      major_(majorVersion), minor_(minorVersion), status_(status), build_(buildNumber)
{
    if (productName_.IsEmpty())
        productName_ = ExecutableName();
    Register();
}

PProcess::PProcess(AdoptTag tag)
    : PThread(tag), productName_(ExecutableName()), major_(1), minor_(0), status_(ReleaseCode),
      build_(1)
{
}

void PProcess::Register()
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    if (theProcess.load() != nullptr && !theProcessIsDefault.load()) {
        PAssertAlways("Only one PProcess may exist");
        return;
    }
    theProcess.store(this);
    theProcessIsDefault.store(false);
    BindToCallingThread();
    SetThreadName(productName_);
}

PProcess::~PProcess()
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    if (theProcess.load() == this)
        theProcess.store(nullptr);
}

PProcess &PProcess::Current()
{
    PProcess *process = theProcess.load();
    if (process != nullptr)
        return *process;
    std::lock_guard<std::mutex> lock(RegistryMutex());
    if (theProcess.load() == nullptr) {
        // Kept for the rest of the run: callers may hold the reference indefinitely.
        static DefaultProcess *stand_in = new DefaultProcess;
        theProcess.store(stand_in);
        theProcessIsDefault.store(true);
    }
    return *theProcess.load();
}

PString PProcess::GetVersion(BOOL full) const
{
    if (!full)
        return psprintf("%u.%u", major_, minor_);
    static const char *const statusText[] = {"alpha", "beta", "."};
    unsigned status = status_ <= ReleaseCode ? status_ : ReleaseCode;
    return psprintf("%u.%u%s%u", major_, minor_, statusText[status], build_);
}

PString PProcess::GetUserName() const
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry;
    struct passwd *found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_name != nullptr && *found->pw_name != '\0')
        return PString(found->pw_name);
    const char *user = std::getenv("USER");
    return PString(user != nullptr ? user : "");
}
