// The MSI package of this build installed and removed silently with Wine's msiexec: the control is
// then in Program Files and the 32-bit one in Program Files (x86), registered for scripts, a vog:
// link started through the shell opens its document, the next version replaces it keeping the
// themes, and the removal takes all but them. The other control tests register the build's own
// VOG.OCX for each test and remove it after, so between tests the class is not registered; a
// registration found at the start is put back at the end.
#include "ControlHarness.h"

#include "VogVersion.h"
#include "support/RegistrySupport.h"
#include "support/TestSupport.h"
#include "support/ViewerFixture.h"

#include <gtest/gtest.h>
#include <msi.h>
#include <msiquery.h>
#include <shlobj.h>

#include <fstream>
#include <thread>

using namespace control_tests;
using namespace testing_support;

#ifdef VOG_MSI_PATH

namespace {

const std::string controlKey = "CLSID\\{8739CB66-6D75-11D4-B8CF-8DD84C2C1547}";
const std::string typeLibKey = "TypeLib\\{8739CB63-6D75-11D4-B8CF-8DD84C2C1547}";
const std::string scriptableKey = controlKey + "\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}";

std::string packagePath()
{
    return hostPath(VOG_MSI_PATH);
}

bool classesKeyExists(const std::string& subkey)
{
    return keyExists(HKEY_CLASSES_ROOT, subkey);
}

// The module registered for the control class in a registry view (KEY_WOW64_32KEY for 32-bit
// code's); empty when there is none.
std::string registeredServer(REGSAM view = 0)
{
    char path[MAX_PATH] = {};
    DWORD size = sizeof path - 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, (controlKey + "\\InprocServer32").c_str(), 0, KEY_QUERY_VALUE | view, &key))
        return {};
    LSTATUS status = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? path : "";
}

// The machine field of a module's PE header; 0 when the file is none.
WORD machineOf(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    IMAGE_DOS_HEADER dos = {};
    DWORD signature = 0;
    IMAGE_FILE_HEADER header = {};
    file.read(reinterpret_cast<char*>(&dos), sizeof dos).seekg(dos.e_lfanew);
    file.read(reinterpret_cast<char*>(&signature), sizeof signature).read(reinterpret_cast<char*>(&header), sizeof header);
    return file && dos.e_magic == IMAGE_DOS_SIGNATURE && signature == IMAGE_NT_SIGNATURE ? header.Machine : 0;
}

ProcessResult msiexec(const std::string& action, const std::string& package = packagePath())
{
    return runProcess("msiexec.exe " + action + " \"" + package + "\" /qn", 120000);
}

// The first field of the first row a query of the package's database gives; empty when none.
std::string packageQuery(const char* query)
{
    MSIHANDLE database = 0, view = 0, record = 0;
    char value[100] = {};
    DWORD length = sizeof value;
    if (MsiOpenDatabaseA(packagePath().c_str(), MSIDBOPEN_READONLY, &database) == ERROR_SUCCESS &&
        MsiDatabaseOpenViewA(database, query, &view) == ERROR_SUCCESS && MsiViewExecute(view, 0) == ERROR_SUCCESS &&
        MsiViewFetch(view, &record) == ERROR_SUCCESS)
        MsiRecordGetStringA(record, 1, value, &length);
    for (MSIHANDLE handle : {record, view, database})
        MsiCloseHandle(handle);
    return value;
}

}  // namespace

// Windows Installer compares the version of a versioned file, and a product's first three version
// parts, each of the first two at most 255.
TEST(InstallerTest, PackageCarriesTheFileVersionAndTheProductVersionFollowsIt)
{
    EXPECT_EQ(packageQuery("SELECT `Version` FROM `File` WHERE `File` = 'VogOcxFile'"), VOG_FILE_VERSION_TEXT);
    EXPECT_EQ(packageQuery("SELECT `Value` FROM `Property` WHERE `Property` = 'ProductVersion'"),
              "8.5." + std::to_string(VOG_FILE_VERSION_BUILD));
    // The keys both registry views share are the 64-bit side's alone: its regsvr32 writes the ProgID.
    EXPECT_EQ(packageQuery("SELECT `Component_` FROM `Registry` WHERE `Key` = 'Software\\Classes\\VOG.VogCtrl.1'"), "");
}

TEST(InstallerTest, SilentInstallRegistersTheControlForScriptsUpgradeKeepsThemesAndUninstallRemovesFileAndRegistration)
{
    const bool registeredBefore = !registeredServer().empty();
    const std::string next = hostPath(VOG_NEXT_MSI_PATH);  // the same files as the next version
    msiexec("/x");  // a package that an interrupted run left installed
    msiexec("/x", next);
    char programFiles[MAX_PATH] = {};
    ASSERT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programFiles));
    const std::string installed = std::string(programFiles) + "\\VOG\\VOG.OCX";
    char programFiles32[MAX_PATH] = {};
    ASSERT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, 0, programFiles32));
    const std::string installed32 = std::string(programFiles32) + "\\VOG\\VOG.OCX";

    ProcessResult install = msiexec("/i");
    ASSERT_TRUE(install.finished) << install.output;
    EXPECT_EQ(0u, install.exitCode) << install.output;
    EXPECT_TRUE(fileExists(installed));
    char version[40] = {};
    DWORD versionLength = sizeof version;
    EXPECT_EQ(MsiGetFileVersionA(installed.c_str(), version, &versionLength, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(version, VOG_FILE_VERSION_TEXT) << "as Windows Installer reads the installed file";
    EXPECT_EQ(0, lstrcmpiA(installed.c_str(), registeredServer().c_str())) << registeredServer();
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, machineOf(installed));
    // The 32-bit module for 32-bit hosts, registered in their view of the classes by the package.
    EXPECT_EQ(0, lstrcmpiA(installed32.c_str(), registeredServer(KEY_WOW64_32KEY).c_str()))
        << registeredServer(KEY_WOW64_32KEY);
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, machineOf(installed32));
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, scriptableKey, KEY_WOW64_32KEY));
    EXPECT_TRUE(classesKeyExists(typeLibKey));
    EXPECT_TRUE(classesKeyExists(scriptableKey));
    EXPECT_EQ(rawValue(HKEY_CLASSES_ROOT, "vog", "UseOriginalUrlEncoding").data, std::string("\1\0\0\0", 4));

    std::string folder = scratchFolder("installer");
    ASSERT_TRUE(writeFile(folder + "\\create.js", "var vog = new ActiveXObject(\"VOG.VogCtrl.1\");\n"
                                                  "WScript.Echo(\"created \" + typeof vog);\n"));
    ProcessResult script = runProcess("cscript.exe //nologo \"" + folder + "\\create.js\"");
    deleteTree(folder);
    EXPECT_NE(std::string::npos, script.output.find("created object")) << script.output;

    // A vog: link started through the shell reaches the installed handler and opens the document.
    const std::string theme = uniqueName("msi-link"), themeKey = "Software\\Vog\\2000.08.04\\Themes\\" + theme;
    folder = scratchFolder(theme);
    ASSERT_TRUE(writeFile(folder + "\\linked.vogdoc", "opened through a link"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, themeKey + "\\data", "string.paths", folder));
    {
        ViewerFixture viewers;
        ProcessResult start = runProcess("start.exe vog:open?theme=" + theme + "&file=linked.vogdoc");
        EXPECT_EQ(0u, start.exitCode) << start.output;
        auto viewer = viewers.waitForStart();
        ASSERT_TRUE(viewer);
        EXPECT_EQ(folder + "\\linked.vogdoc", viewer->document());
        EXPECT_TRUE(fileExists(std::string(programFiles) + "\\VOG\\vog.exe"));
        // A hostile link through the same way: one "Vog" box says why, and nothing opens.
        runProcess("start.exe vog:open?theme=" + theme + "&file=..%5C" + theme + "%5Clinked.vogdoc");
        HWND box = waitForWindow("Vog", 20000);
        ASSERT_TRUE(box);
        EXPECT_NE(std::string::npos, windowText(GetDlgItem(box, 0xFFFF)).find("did not open the link"));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(viewers.noStartWithin(1000));
    }
    deleteTree(folder);

    // The next version replaces this one, whole, and keeps the theme; its removal keeps it too.
    EXPECT_EQ(0u, msiexec("/i", next).exitCode);
    const std::string upgradeCode = packageQuery("SELECT `Value` FROM `Property` WHERE `Property` = 'UpgradeCode'");
    char product[39] = {}, older[39] = {};
    versionLength = sizeof version;
    EXPECT_EQ(ERROR_SUCCESS, MsiEnumRelatedProductsA(upgradeCode.c_str(), 0, 0, product));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, MsiEnumRelatedProductsA(upgradeCode.c_str(), 0, 1, older)) << older;
    MsiGetProductInfoA(product, INSTALLPROPERTY_VERSIONSTRING, version, &versionLength);
    EXPECT_EQ(std::string(version), "8.5." + std::to_string(VOG_FILE_VERSION_BUILD + 1));
    EXPECT_EQ(0, lstrcmpiA(installed.c_str(), registeredServer().c_str())) << registeredServer();
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, themeKey + "\\data"));

    ProcessResult uninstall = msiexec("/x", next);
    ASSERT_TRUE(uninstall.finished) << uninstall.output;
    EXPECT_EQ(0u, uninstall.exitCode) << uninstall.output;
    EXPECT_FALSE(fileExists(installed));
    ProcessResult query = runProcess("reg.exe query \"HKCR\\" + controlKey + "\"");
    EXPECT_TRUE(query.finished);
    EXPECT_NE(0u, query.exitCode) << "the class is still registered: " << query.output;
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, controlKey, KEY_WOW64_32KEY)) << "for 32-bit code";
    EXPECT_FALSE(fileExists(installed32));
    EXPECT_FALSE(classesKeyExists("VOG.VogCtrl.1"));
    EXPECT_FALSE(classesKeyExists(typeLibKey));
    EXPECT_FALSE(classesKeyExists("vog"));
    EXPECT_FALSE(fileExists(std::string(programFiles) + "\\VOG\\vogw.exe"));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, themeKey + "\\data"));
    deleteKey(HKEY_LOCAL_MACHINE, themeKey);

    if (registeredBefore)
        runRegsvr32(false);
}

#ifdef VOG_X86_MSI_PATH
// The x86 package is for 32-bit Windows; on a 64-bit one, where the x64 package carries both
// modules, it says so and installs nothing.
TEST(InstallerTest, X86PackageRefusesToInstallOn64BitWindowsAndSaysWhy)
{
    const std::string package = hostPath(VOG_X86_MSI_PATH);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSTALL_FAILURE), msiexec("/i", package).exitCode);
    // With a user interface the condition's message is shown in a box (Wine's is "Install Failed").
    ProcessResult withInterface;
    std::thread install([&] { withInterface = runProcess("msiexec.exe /i \"" + package + "\" /qb", 60000); });
    HWND box = waitForWindow("Install Failed", 30000);
    const std::string shown = box ? windowText(GetDlgItem(box, 0xFFFF)) : "";
    if (box)
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    install.join();
    EXPECT_NE(std::string::npos, shown.find("for 32-bit Windows. On 64-bit Windows install VOG-x64.msi")) << shown;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSTALL_FAILURE), withInterface.exitCode);
    char programFiles32[MAX_PATH] = {};
    ASSERT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, 0, programFiles32));
    EXPECT_FALSE(fileExists(std::string(programFiles32) + "\\VOG\\vog.exe"));
}
#endif

#endif  // VOG_MSI_PATH
