// Handset library choice and binding, through stand-in libraries and a stand-in HID list.
#include <core/usb_phone.h>

#include <win/hid.h>
#include <win/module_testing.h>
#include <win/msgbox.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using win::testing::HidDevice;

class UsbPhoneBinding : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestrelin-handset-XXXXXX";
        dir_ = mkdtemp(pattern);
        exe_ = (dir_ / "Kestrelin.exe").string();
        win::testing::OverrideExecutablePath(exe_.c_str());
        setenv("STANDIN_LOG", (dir_ / "log").c_str(), 1);
        unsetenv("STANDIN_TJIPSYS_ANSWER");
        win::testing::SetMessageBoxHandler([this](const win::testing::MessageBoxCall &c) {
            boxes_.push_back(c);
            return IDOK;
        });
    }
    void TearDown() override
    {
        core::testing::ResetUsbPhoneBinding();
        win::testing::SetHidDevices(nullptr);
        win::testing::SetMessageBoxHandler(nullptr);
        win::testing::OverrideExecutablePath(nullptr);
        unsetenv("STANDIN_LOG");
        fs::remove_all(dir_);
    }

    // Puts stand-in libraries into the install directory, under the given file names.
    void Install(std::initializer_list<std::pair<const char *, const char *>> libraries)
    {
        for (auto [from, to] : libraries)
            fs::copy_file(fs::path(STANDIN_DIR) / from, dir_ / to);
    }
    void InstallAll(bool withTjIpSys = true)
    {
        Install({{"BT_EX.so", "BT_EX.so"}, {"BT_NS.so", "bt_ns.so"}, {"BT_VB.so", "BT_VB.dll"},
                 {"BT_KB.so", "libBT_KB.so"}});
        if (withTjIpSys)
            Install({{"TjIpSys.so", "TjIpSys.so"}});
    }
    std::vector<std::string> Log()
    {
        std::ifstream in(dir_ / "log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    // The library now bound, by its name among the four; "" when none.
    std::string Bound()
    {
        for (const char *name : {"BT_EX.dll", "BT_NS.dll", "BT_VB.dll", "BT_KB.dll"}) {
            HMODULE h = LoadLibraryA(name);
            bool same = h && h == g_hUsbPhoneLibrary;
            if (h)
                FreeLibrary(h);
            if (same)
                return name;
        }
        return "";
    }

    fs::path dir_;
    std::string exe_;
    std::vector<win::testing::MessageBoxCall> boxes_;
};

std::vector<HidDevice> Devices(std::initializer_list<std::pair<WORD, WORD>> ids)
{
    std::vector<HidDevice> out;
    int i = 0;
    for (auto [vendor, product] : ids)
        out.push_back({"/dev/hidraw" + std::to_string(i++), vendor, product, true});
    return out;
}

TEST_F(UsbPhoneBinding, ChoosesTheLibraryByTheFirstMatchingDevice)
{
    std::vector<HidDevice> late = Devices({});
    for (int i = 0; i < 20; ++i)
        late.push_back({"/dev/hidraw" + std::to_string(i), 0x1111, WORD(i), true});
    late.push_back({"/dev/hidraw20", 0x04B4, 0x0401, true});
    const struct {
        const char *what;
        std::vector<HidDevice> devices;
        const char *library;
    } cases[] = {
        {"no device of the vendor", Devices({{0x046D, 0xC077}}), "BT_EX.dll"},
        {"no device at all", Devices({}), "BT_EX.dll"},
        {"table order, not product order",
         Devices({{0x046D, 1}, {0x04B4, 0x6371}, {0x04B4, 0x0302}}), "BT_NS.dll"},
        {"the product under another vendor", Devices({{0x1234, 0x0302}, {0x04B4, 0x0401}}),
         "BT_VB.dll"},
        {"an unknown product of the vendor is passed over",
         Devices({{0x04B4, 0x9999}, {0x04B4, 0x0302}}), "BT_EX.dll"},
        {"interface index 20 is never looked at", late, "BT_EX.dll"},
    };
    InstallAll();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        win::testing::SetHidDevices(&c.devices);
        LoadUsbPhoneDriver();
        EXPECT_EQ(Bound(), c.library);
        EXPECT_NE(UsbPhoneApi.Open, nullptr);
        core::testing::ResetUsbPhoneBinding();
    }
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(UsbPhoneBinding, QueriesTjIpSysAroundTheChoice)
{
    InstallAll();
    auto devices = Devices({{0x04B4, 0x0302}});
    win::testing::SetHidDevices(&devices);

    // A decided library is bound first, then TjIpSys hears code 1.
    LoadUsbPhoneDriver();
    EXPECT_EQ(Log(), (std::vector<std::string>{"TjIpSys call 0 1 1", "BT_EX load 0 0",
                                               "TjIpSys call 1 0 0"}));
    core::testing::ResetUsbPhoneBinding();
    fs::remove(dir_ / "log");

    // Without a deciding device, code 1 comes before the fallback is bound.
    auto none = Devices({});
    win::testing::SetHidDevices(&none);
    LoadUsbPhoneDriver();
    EXPECT_EQ(Log(), (std::vector<std::string>{"TjIpSys call 0 1 1", "TjIpSys call 1 0 0",
                                               "BT_EX load 0 0"}));
}

TEST_F(UsbPhoneBinding, ANonZeroTjIpSysAnswerBindsTheKeyboardHandsetWithoutEnumerating)
{
    InstallAll();
    setenv("STANDIN_TJIPSYS_ANSWER", "3", 1);
    auto devices = Devices({{0x04B4, 0x6371}});
    win::testing::SetHidDevices(&devices);
    LoadUsbPhoneDriver();
    EXPECT_EQ(Log(), (std::vector<std::string>{"TjIpSys call 0 1 1", "BT_KB load 0 0",
                                               "TjIpSys call 1 0 0"}));
    EXPECT_EQ(HidDeviceTable[0].vendor, 0) << "the HID devices were enumerated";
    EXPECT_EQ(Bound(), "BT_KB.dll");
}

// No vendor library exists for this platform: its absence is said once on standard error,
// never in a box, and the choice by HID devices goes on.
TEST_F(UsbPhoneBinding, MissingLibrariesAreNamedOnceOnStandardErrorWithoutABox)
{
    auto devices = Devices({{0x04B4, 0x0401}});
    win::testing::SetHidDevices(&devices);
    ::testing::internal::CaptureStderr();
    LoadUsbPhoneDriver();
    LoadUsbPhoneDriver();
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(said, "kestrelin: no handset library TjIpSys.dll (looked for TjIpSys.dll, "
                    "TjIpSys.so and libTjIpSys.so in the install directory)\n"
                    "kestrelin: no handset library BT_VB.dll (looked for BT_VB.dll, BT_VB.so "
                    "and libBT_VB.so in the install directory)\n");
    EXPECT_EQ(g_hUsbPhoneLibrary, nullptr);
    EXPECT_EQ(UsbPhoneApi.Open, nullptr);
    EXPECT_EQ(HidDeviceTable[0].product, 0x0401) << "the HID devices were not enumerated";

    // With the handset's library present, only TjIpSys is missing and the choice still binds.
    core::testing::ResetUsbPhoneBinding();
    Install({{"BT_VB.so", "BT_VB.so"}});
    ::testing::internal::CaptureStderr();
    LoadUsbPhoneDriver();
    said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find("BT_VB"), std::string::npos) << said;
    EXPECT_NE(said.find("TjIpSys.dll"), std::string::npos) << said;
    EXPECT_EQ(Bound(), "BT_VB.dll");
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(UsbPhoneBinding, BoundEntryPointsReachTheLibrary)
{
    InstallAll();
    ASSERT_EQ(BindUsbPhoneApi("BT_NS.dll"), 0u);
    ASSERT_NE(UsbPhoneApi.Bind, nullptr);
    static int key = 0, event = 0;
    EXPECT_EQ(UsbPhoneApi.Open(reinterpret_cast<HWND>(0x10)), 7);
    UsbPhoneApi.Bind([](int32_t k) { key = k; }, [](int32_t e, int32_t) { event = e; });
    UsbPhoneApi.Ring(1);
    UsbPhoneApi.Close();
    EXPECT_EQ(key, 5);
    EXPECT_EQ(event, 1);
    EXPECT_NE(UsbPhoneApi.GetHookStatus, nullptr);
    auto log = Log();
    EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()),
              (std::vector<std::string>{"BT_NS Open 1 0", "BT_NS Bind 1 1", "BT_NS Ring 1 0",
                                        "BT_NS Close 0 0"}));
}

TEST_F(UsbPhoneBinding, RebindingFreesTheLibraryAlreadyBound)
{
    InstallAll();
    BindUsbPhoneApi("BT_EX.dll");
    BindUsbPhoneApi("BT_NS.dll");
    EXPECT_EQ(Log(), (std::vector<std::string>{"BT_EX load 0 0", "BT_EX unload 0 0",
                                               "BT_NS load 0 0"}));
    EXPECT_EQ(Bound(), "BT_NS.dll");
}

TEST_F(UsbPhoneBinding, AMissingOrPartialLibraryLeavesItsEntriesAbsent)
{
    Install({{"TjIpSys.so", "TjIpSys.so"}, {"BT_PARTIAL.so", "BT_NS.so"}});
    EXPECT_EQ(BindUsbPhoneApi("BT_EX.dll"), DWORD(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(g_hUsbPhoneLibrary, nullptr);
    EXPECT_EQ(UsbPhoneApi.Open, nullptr);
    EXPECT_EQ(BindUsbPhoneApi("BT_NS.dll"), 0u);
    EXPECT_NE(UsbPhoneApi.Ring, nullptr);
    EXPECT_EQ(UsbPhoneApi.GetHookStatus, nullptr);
    UnloadUsbPhoneApi();
    EXPECT_EQ(UsbPhoneApi.Ring, nullptr) << "entries must not outlive their library";
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(UsbPhoneBinding, EnumerationFailuresStopAtTheEntryReached)
{
    auto unreadable = Devices({{0x04B4, 0x0302}, {0x04B4, 0x6371}});
    unreadable[1].path = "";
    win::testing::SetHidDevices(&unreadable);
    EXPECT_FALSE(EnumHidDevices());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Could not find the system name for this HID device");
    EXPECT_EQ(boxes_[0].caption, "Error");
    EXPECT_EQ(boxes_[0].type, MB_ICONHAND);
    EXPECT_EQ(HidDeviceTable[0].product, 0x0302);
    EXPECT_EQ(HidDeviceTable[1].vendor, 0);

    auto closed = Devices({{0x04B4, 0x0302}});
    closed[0].openable = false;
    win::testing::SetHidDevices(&closed);
    EXPECT_FALSE(EnumHidDevices());
    EXPECT_EQ(boxes_.size(), 1u) << "a device that cannot be opened is not reported";
}

} // namespace
