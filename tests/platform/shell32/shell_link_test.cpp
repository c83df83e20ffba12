#include <windows.h>
#include <shlobj.h>

#include "shell32/shell_link_file.h"
#include "reports.h"
#include "winroot.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace {

using testsupport::LnkInfo;

struct Link {
    IShellLinkW* link = nullptr;
    Link() {
        EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)),
                  S_OK);
    }
    ~Link() {
        if (link)
            link->Release();
    }
    HRESULT Save(const WCHAR* path) {
        IPersistFile* file = nullptr;
        HRESULT hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        if (FAILED(hr))
            return hr;
        hr = file->Save(path, FALSE);
        file->Release();
        return hr;
    }
};

class ShellLinkTest : public testsupport::WinRootTest {
  protected:
    void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
    void TearDown() override { CoUninitialize(); }
};

TEST(Com, InitialisationIsCountedPerThread) {
    IUnknown* object = reinterpret_cast<IUnknown*>(0x55);
    EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                               reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    std::thread([] {
        EXPECT_EQ(CoInitialize(nullptr), S_OK) << "another thread has its own apartment";
        CoUninitialize();
    }).join();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE) << "one initialisation is still open";
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

TEST(Com, CreatesTheShellLinkOnly) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    const CLSID other = {0x00021400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    const IID unknownIid = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    struct Row {
        const CLSID* clsid;
        DWORD context;
        const IID* iid;
        HRESULT expected;
    } rows[] = {
        {&CLSID_ShellLink, CLSCTX_INPROC_SERVER, &IID_IShellLinkW, S_OK},
        {&CLSID_ShellLink, CLSCTX_ALL, &IID_IPersistFile, S_OK},
        {&CLSID_ShellLink, CLSCTX_INPROC_SERVER, &IID_IUnknown, S_OK},
        {&CLSID_ShellLink, CLSCTX_INPROC_SERVER, &unknownIid, E_NOINTERFACE},
        {&CLSID_ShellLink, CLSCTX_LOCAL_SERVER, &IID_IShellLinkW, REGDB_E_CLASSNOTREG},
        {&other, CLSCTX_INPROC_SERVER, &IID_IShellLinkW, REGDB_E_CLASSNOTREG},
    };
    for (const Row& row : rows) {
        IUnknown* object = reinterpret_cast<IUnknown*>(0x55);
        EXPECT_EQ(CoCreateInstance(*row.clsid, nullptr, row.context, *row.iid,
                                   reinterpret_cast<void**>(&object)),
                  row.expected);
        if (row.expected == S_OK) {
            ASSERT_NE(object, nullptr);
            EXPECT_EQ(object->Release(), 0u);
        } else {
            EXPECT_EQ(object, nullptr);
        }
    }
    CoUninitialize();
}

TEST_F(ShellLinkTest, InterfacesShareOneIdentityAndCount) {
    Link made;
    IPersistFile* file = nullptr;
    IUnknown* fromLink = nullptr;
    IUnknown* fromFile = nullptr;
    ASSERT_EQ(made.link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
    ASSERT_EQ(made.link->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromLink)), S_OK);
    ASSERT_EQ(file->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromFile)), S_OK);
    EXPECT_EQ(fromLink, fromFile);
    EXPECT_EQ(made.link->AddRef(), 5u);
    EXPECT_EQ(made.link->Release(), 4u);
    EXPECT_EQ(fromFile->Release(), 3u);
    EXPECT_EQ(fromLink->Release(), 2u);
    EXPECT_EQ(file->Release(), 1u);
    CLSID clsid{};
    EXPECT_EQ(file->GetClassID(&clsid), S_OK);  // still alive through made.link
    EXPECT_TRUE(clsid == CLSID_ShellLink);
}

TEST_F(ShellLinkTest, GettersCutAndTerminate) {
    Link made;
    ASSERT_EQ(made.link->SetWorkingDirectory(u"C:\\abc"), S_OK);
    ASSERT_EQ(made.link->SetIconLocation(u"C:\\i.ico", 3), S_OK);
    struct Row {
        int size;
        std::u16string expected;
    } rows[] = {{7, u"C:\\abc"}, {6, u"C:\\ab"}, {1, u""}};
    for (const Row& row : rows) {
        WCHAR buffer[10];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(made.link->GetWorkingDirectory(buffer, row.size), S_OK);
        EXPECT_EQ(std::u16string(buffer), row.expected);
        EXPECT_EQ(buffer[row.size], u'#') << "nothing written past the buffer";
    }
    WCHAR icon[20];
    int index = -1;
    EXPECT_EQ(made.link->GetIconLocation(icon, 20, &index), S_OK);
    EXPECT_EQ(std::u16string(icon), u"C:\\i.ico");
    EXPECT_EQ(index, 3);
    EXPECT_EQ(made.link->GetPath(icon, 20, nullptr, 0), S_FALSE) << "no path set yet";
    EXPECT_EQ(icon[0], 0);
}

TEST_F(ShellLinkTest, SavedFileReadsBackWithLnkinfo) {
    std::filesystem::create_directories(winroot.driveC() / "Desk");
    Link made;
    ASSERT_EQ(made.link->SetPath(u"C:\\App\\\u4f60\u597d\\brivostel v9.5.exe"), S_OK);
    ASSERT_EQ(made.link->SetWorkingDirectory(u"C:\\App\\\u4f60\u597d"), S_OK);
    ASSERT_EQ(made.Save(u"C:\\Desk\\first.lnk"), S_OK);
    ASSERT_EQ(made.link->SetIconLocation(u"C:\\App\\icon.ico", 0), S_OK);
    ASSERT_EQ(made.Save(u"C:\\Desk\\second.lnk"), S_OK);

    std::string first = LnkInfo(winroot.driveC() / "Desk/first.lnk");
    EXPECT_EQ(testsupport::LnkInfoField(first, "Local path"),
              "C:\\App\\\xe4\xbd\xa0\xe5\xa5\xbd\\brivostel v9.5.exe")
        << first;
    EXPECT_EQ(testsupport::LnkInfoField(first, "Working directory"),
              "C:\\App\\\xe4\xbd\xa0\xe5\xa5\xbd")
        << first;
    EXPECT_EQ(testsupport::LnkInfoField(first, "Icon location"), std::nullopt) << first;
    std::string second = LnkInfo(winroot.driveC() / "Desk/second.lnk");
    EXPECT_EQ(testsupport::LnkInfoField(second, "Icon location"), "C:\\App\\icon.ico") << second;
}

TEST_F(ShellLinkTest, SaveReplacesAndReportsFailures) {
    std::filesystem::create_directories(winroot.driveC() / "Desk");
    testsupport::WriteFileBytes(winroot.driveC() / "Desk/a.lnk", "old contents");
    Link made;
    made.link->SetPath(u"C:\\x.exe");
    made.link->SetWorkingDirectory(u"C:\\one");
    ASSERT_EQ(made.Save(u"C:\\Desk\\a.lnk"), S_OK);
    made.link->SetWorkingDirectory(u"C:\\two");
    ASSERT_EQ(made.Save(u"c:\\desk\\A.LNK"), S_OK) << "the existing file, in any case";
    EXPECT_EQ(
        testsupport::LnkInfoField(LnkInfo(winroot.driveC() / "Desk/a.lnk"), "Working directory"),
        "C:\\two");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(winroot.driveC() / "Desk"),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left";

    EXPECT_EQ(made.Save(u"C:\\Missing\\a.lnk"), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    std::filesystem::permissions(
        winroot.driveC() / "Desk/a.lnk",
        std::filesystem::perms::all & ~std::filesystem::perms::owner_write &
            ~std::filesystem::perms::group_write & ~std::filesystem::perms::others_write);
    EXPECT_EQ(made.Save(u"C:\\Desk\\a.lnk"), E_ACCESSDENIED) << "a read-only shortcut stays";
}

TEST(ShellLinkFile, HeaderAndBlocksFollowTheFormat) {
    winlayer::ShellLinkContent content;
    content.target = u"C:\\a.exe";
    content.workingDirectory = u"C:\\";
    std::string bytes = winlayer::FormatShellLink(content);
    auto u32 = [&](size_t at) {
        DWORD value;
        std::memcpy(&value, bytes.data() + at, 4);
        return value;
    };
    EXPECT_EQ(u32(0), 0x4Cu);
    EXPECT_EQ(bytes.substr(4, 16),
              std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16));
    EXPECT_EQ(u32(20), 0x2u | 0x10u | 0x80u) << "HasLinkInfo, HasWorkingDir, IsUnicode";
    EXPECT_EQ(u32(60), 1u) << "SW_SHOWNORMAL";
    DWORD linkInfoSize = u32(0x4C);
    // After LinkInfo: WORKING_DIR as a character count and UTF-16 text, then the terminal block.
    size_t stringData = 0x4C + linkInfoSize;
    EXPECT_EQ(bytes.substr(stringData), std::string("\x03\x00"
                                                    "C\0:\0\\\0"
                                                    "\0\0\0\0",
                                                    12));
}

}  // namespace
