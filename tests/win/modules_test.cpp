// Modules and resources, the single-instance mutex, events, video driver names.
#include <win/cstring.h>
#include <win/handle.h>
#include <win/library.h>
#include <win/module.h>
#include <win/path.h>
#include <win/resources.h>
#include <win/vfw.h>

#include <pwlib/video/pvideoinputdevice.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(Resources, TheOwnPackIsInForceAtStart)
{
    EXPECT_EQ(AfxGetResourceHandle(), GetModuleHandleA(nullptr));
    CString s;
    ASSERT_TRUE(s.LoadString(124));
    EXPECT_EQ(s, "Kestrelin 5.2");
    EXPECT_FALSE(s.LoadString(9999));
    char buffer[8];
    EXPECT_EQ(LoadStringA(nullptr, 177, buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "Recent ") << "cut to the buffer";
    HRSRC face = FindResourceA(nullptr, "IDR_FACE", "FACE");
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, face), 52u * 24 + 4);
    EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCE(137), RT_BITMAP), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, "NOSUCH", "RGN"), nullptr);
    win::rc::DialogTemplate d;
    ASSERT_TRUE(win::res::LoadDialogTemplate(102, d));
    EXPECT_NE(d.Find(1044), nullptr);
}

TEST(Resources, SwitchingToALanguagePackSwitchesStringsAndTemplates)
{
    HINSTANCE china = AfxLoadLibrary("china.DLL");
    HINSTANCE traditional = AfxLoadLibrary("Traditional.dll");
    ASSERT_NE(china, nullptr);
    ASSERT_NE(traditional, nullptr);
    EXPECT_EQ(AfxLoadLibrary("China.dll"), china) << "one module per file";
    AfxFreeLibrary(china);
    CString s;
    AfxSetResourceHandle(china);
    ASSERT_TRUE(s.LoadString(116));
    EXPECT_EQ(s.ToUtf8(), "电话簿");
    EXPECT_EQ(s.GetLength(), 6) << "two bytes per character in the ANSI code page";
    win::rc::MenuTemplate m;
    ASSERT_TRUE(win::res::LoadMenuTemplate(246, m));
    EXPECT_EQ(m.items[0].children[0].text, "呼叫(&C)");
    AfxSetResourceHandle(traditional);
    ASSERT_TRUE(s.LoadString(117));
    EXPECT_EQ(s.ToUtf8(), "語音設定");
    EXPECT_NE(FindResourceA(traditional, "PHONEBOOK", "RGN"), nullptr);
    AfxSetResourceHandle(GetModuleHandleA(nullptr));
    ASSERT_TRUE(s.LoadString(116));
    EXPECT_EQ(s, "PhoneBook");
    EXPECT_TRUE(AfxFreeLibrary(china));
    EXPECT_TRUE(AfxFreeLibrary(traditional));
    EXPECT_FALSE(AfxFreeLibrary(traditional));
}

TEST(Resources, AMissingPackGivesNoHandle)
{
    EXPECT_EQ(AfxLoadLibrary("Klingon.dll"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(nullptr, "x"), nullptr);
}

TEST(InstallDirectory, SoundFileNamesMatchWithoutCase)
{
    std::string dir(win::ExecutableDirectory().View());
    for (const char *name : {"ringout.wav", "RingOut.wav", "busy.wav", "Busy.wav", "RINGIN.WAV",
                             "dtmf\\d0.wav", "dtmf\\hash.wav"}) {
        std::string path = win::MapPath((dir + name).c_str());
        EXPECT_TRUE(std::filesystem::is_regular_file(path)) << name;
    }
}

TEST(SingleInstance, ASecondHolderOfTheNameSeesAlreadyExists)
{
    const char *name = "3F2504E0_4F89_11D3_9A0C_0305E82C3301";
    std::string unique = std::string(name) + std::to_string(::getpid());
    HANDLE first = CreateMutexA(nullptr, TRUE, unique.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(ReleaseMutex(first));
    // Another process sees the name taken.
    pid_t child = fork();
    if (child == 0) {
        HANDLE h = CreateMutexA(nullptr, TRUE, unique.c_str());
        _exit(h && GetLastError() == ERROR_ALREADY_EXISTS ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    HANDLE second = CreateMutexA(nullptr, TRUE, unique.c_str());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    CloseHandle(second);
    CloseHandle(first);
    HANDLE again = CreateMutexA(nullptr, TRUE, unique.c_str());
    EXPECT_EQ(GetLastError(), 0u) << "closing frees the name";
    CloseHandle(again);
}

TEST(Events, AutoResetEventsWakeOneWaitOnce)
{
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, "WaveInThreadEvent");
    EXPECT_EQ(WaitForSingleObject(e, 10), WAIT_TIMEOUT);
    std::thread t([e] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SetEvent(e);
    });
    EXPECT_EQ(WaitForSingleObject(e, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT) << "auto-reset";
    t.join();
    EXPECT_TRUE(CloseHandle(e));
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(e));
}

TEST(VideoDrivers, EachIndexIsACameraThePortableLibraryLists)
{
    PStringList cameras = PVideoInputDevice::GetDriversDeviceNames("V4L2");
    for (WORD i = 0; i <= 10; ++i) {
        char name[100] = "x", version[200] = "x";
        BOOL found = capGetDriverDescriptionA(i, name, sizeof name, version, sizeof version);
        ASSERT_EQ(found, i < 10 && i < cameras.GetSize()) << i;
        if (!found)
            continue;
        EXPECT_EQ(PString(name), cameras[i]);
        EXPECT_STRNE(version, "");
        std::unique_ptr<PVideoInputDevice> device(PVideoInputDevice::CreateDeviceByName(name));
        EXPECT_NE(device, nullptr) << name;
    }
    // Names are cut to the caller's buffer.
    char tiny[1] = {'x'};
    if (cameras.GetSize() > 0) {
        EXPECT_TRUE(capGetDriverDescriptionA(0, tiny, sizeof tiny, nullptr, 0));
        EXPECT_EQ(tiny[0], '\0');
    }
}

} // namespace
