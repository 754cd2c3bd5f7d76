// How a path is classified before it is opened: its document kind, and whether it would run code.
#include "request/NetworkPath.h"
#include "request/OpeningPolicy.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <string>
#include <vector>

using namespace testing_support;

TEST(DocumentKindTest, TheExtensionDecidesWhateverItsCase)
{
    for (const char* path : {"C:\\t\\a.rar", "C:\\t\\A.RAR", "C:\\t\\a.Rar", "C:\\t\\backup.tar.rar"})
        EXPECT_EQ(DocumentKind::Archive, documentKind(path)) << path;
    for (const char* path : {"C:\\t\\a.txt", "C:\\t\\A.TXT", "C:\\t\\a.Txt", "C:\\my folder\\a b.txt", "a.txt"})
        EXPECT_EQ(DocumentKind::Text, documentKind(path)) << path;
    // A dot followed by a "\" or a space starts no extension.
    for (const char* path : {"C:\\t\\a.chm", "C:\\t\\readme", "C:\\t.txt\\readme", "C:\\t\\a.txt x", "C:\\t\\a.txt2",
                             "C:\\t\\a.zip", "C:\\t\\a.ra", "C:\\t\\a.", ""})
        EXPECT_EQ(DocumentKind::Other, documentKind(path)) << path;
}

TEST(RunsCodeTest, ProgramsScriptsShortcutsAndInstallersWhateverTheirCase)
{
    for (const char* name :
         {"setup.exe", "SETUP.EXE", "Setup.Exe", "run.bat", "run.cmd", "tool.com", "old.pif", "saver.scr", "link.lnk",
          "site.url", "app.hta", "a.js", "a.JSE", "a.vbs", "a.vbe", "a.wsf", "a.wsh", "pkg.msi", "patch.msp",
          "panel.cpl", "settings.reg", "script.ps1", "module.psm1", "lib.jar", "snap.msc", "setup.inf", "root.crt",
          "app.application", "scrap.shs", "junction.{20D04FE0-3AEA-1069-A2D8-08002B30309D}", "a.search-ms",
          "a.deskthemepack", "a.diagcfg", "a.rdp", "a.jnlp", "a.xll", "a.iqy", "a.slk", "a.msu", "a.ppkg", "a.vsix",
          "a.pyc", "a.app", "a.bas", "a.fxp", "a.ksh", "a.pcd", "a.vss", "a.ops"})
        EXPECT_TRUE(runsCode(std::string("C:\\docs\\") + name)) << name;
    for (const char* name : {"report.txt", "REPORT.TXT", "manual.chm", "help.hlp", "page.html", "archive.rar",
                             "archive.zip", "paper.pdf", "note.vogdoc", "picture.png", "setup.exe.txt"})
        EXPECT_FALSE(runsCode(std::string("C:\\docs\\") + name)) << name;
    // Documents that run script with the machine's rights, however their name is spelled.
    for (const char* name : {"manual.chm", "HELP.HLP", "help.cnt", "page.mht", "page.mhtml", "page.mhtml. ", "a.pst"})
        EXPECT_EQ(TypeRisk::RunsLocalScript, typeRisk(std::string("C:\\docs\\") + name)) << name;
    EXPECT_EQ(TypeRisk::Document, typeRisk("C:\\docs\\page.html"));
}

TEST(RunsCodeTest, AShortNameIsJudgedByTheLongNameItStandsFor)
{
    std::string folder = scratchFolder(uniqueName("short-names"));
    ASSERT_TRUE(writeFile(folder + "\\x.settingcontent-ms", "<xml/>"));
    ASSERT_TRUE(writeFile(folder + "\\long document name.vogdoc", "plain"));
    char program[MAX_PATH] = {}, document[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA((folder + "\\x.settingcontent-ms").c_str(), program, MAX_PATH));
    ASSERT_NE(0u, GetShortPathNameA((folder + "\\long document name.vogdoc").c_str(), document, MAX_PATH));
    ASSERT_EQ(".SET", std::string(PathFindExtensionA(program))) << program;
    EXPECT_TRUE(runsCode(program)) << program;
    EXPECT_EQ(TypeRisk::Document, typeRisk(document)) << document;
    deleteTree(folder);
}

TEST(RunsCodeTest, NoTrickOfTheNameHidesAProgram)
{
    const std::string withNul("C:\\docs\\setup.exe\0.txt", 22);
    for (const std::string& path :
         {std::string("C:\\docs\\setup.exe."), std::string("C:\\docs\\setup.exe "), std::string("C:\\docs\\setup.exe. . "),
          std::string("C:\\docs\\setup.exe\\"), std::string("C:\\docs\\setup.exe/"),
          std::string("C:\\docs\\sub\\..\\setup.exe"), std::string("C:\\docs\\report.txt:evil.exe"),
          std::string("C:\\docs\\report.txt::$DATA"), std::string("http://example.com/report.txt"),
          std::string("file:C:/docs/report.txt"), withNul, std::string()})
        EXPECT_TRUE(runsCode(path)) << path;
}

TEST(RunsCodeTest, APathWithoutExtensionIsADocumentOnlyWhenNoProgramCanStandInForIt)
{
    std::string folder = scratchFolder(uniqueName("no-extension"));
    ASSERT_TRUE(writeFile(folder + "\\readme", "plain text"));
    ASSERT_TRUE(writeFile(folder + "\\readme.txt", "a document beside it is fine"));
    EXPECT_FALSE(runsCode(folder + "\\readme"));
    EXPECT_FALSE(runsCode(folder + "\\readme."));

    ASSERT_TRUE(writeFile(folder + "\\readme.exe", "MZ"));
    EXPECT_TRUE(runsCode(folder + "\\readme"));

    // The shell starts "tool.exe" for a missing "tool".
    ASSERT_TRUE(writeFile(folder + "\\tool.exe", "MZ"));
    EXPECT_TRUE(runsCode(folder + "\\tool"));
    EXPECT_TRUE(runsCode(folder + "\\missing"));
    deleteTree(folder);
}

TEST(RunsCodeTest, TypesThePlatformRunsDirectlyCountAsPrograms)
{
    // An extension the command interpreter runs, through PATHEXT.
    char saved[1024] = {};
    DWORD savedLength = GetEnvironmentVariableA("PATHEXT", saved, sizeof saved);
    EXPECT_FALSE(runsCode("C:\\docs\\a.vogrun"));
    SetEnvironmentVariableA("PATHEXT", ".COM;.EXE;.VOGRUN;.BAT");
    EXPECT_TRUE(runsCode("C:\\docs\\a.vogrun"));
    SetEnvironmentVariableA("PATHEXT", savedLength ? saved : nullptr);

    // A registered type whose open command is the file itself, as for the system's program types.
    const char* type = ".vogself";
    const char* progId = "VogTest.SelfRunning";
    RegDeleteTreeA(HKEY_CLASSES_ROOT, type);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, progId);
    EXPECT_FALSE(runsCode("C:\\docs\\a.vogself"));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, type, REG_SZ, progId, 0));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueA(HKEY_CLASSES_ROOT, "VogTest.SelfRunning\\shell\\open\\command", REG_SZ, "\"%1\" %*", 0));
    EXPECT_TRUE(runsCode("C:\\docs\\a.vogself"));
    RegDeleteTreeA(HKEY_CLASSES_ROOT, type);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, type);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, progId);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, progId);
}

TEST(NetworkPathTest, EverySpellingOfAShareCountsAndOnlyTheThemesOwnSharesPass)
{
    const std::vector<std::string> folders = {"D:\\docs", "\\\\Files\\Manuals\\en"};
    for (const char* path : {"\\\\files\\manuals\\a.pdf", "//FILES/Manuals/sub/a.pdf", "\\/files\\manuals",
                             "\\\\?\\UNC\\files\\manuals\\a.pdf", "\\\\.\\unc\\Files\\Manuals\\a.pdf",
                             "\\??\\UNC\\files\\manuals\\a.pdf", "C:\\a.pdf", "Z:\\mapped.pdf", "\\\\?\\C:\\a.pdf",
                             "\\\\?\\Volume{0123}\\a.pdf", "sub\\a.pdf", "\\a.pdf", "a.pdf"})
        EXPECT_FALSE(reachesForeignShare(path, folders)) << path;
    // Another server, another share on the theme's server, a share without server or name, and
    // device paths the object manager may route to a redirector.
    for (const char* path : {"\\\\host.example\\share\\x.pdf", "//host.example/manuals/x.pdf", "\\\\files\\other\\a.pdf",
                             "\\\\files.\\manuals\\a.pdf", "\\\\?\\UNC\\host\\manuals\\a", "\\\\.\\UNC\\files\\x\\a",
                             "\\??\\UNC\\host\\share\\a", "\\\\\\manuals\\a.pdf", "\\\\files", "\\\\files\\",
                             "\\\\?\\GLOBALROOT\\Device\\Mup\\files\\manuals\\a.pdf", "\\\\.\\Mup\\host\\s\\a",
                             "//?/UNC/host/share/a"})
        EXPECT_TRUE(reachesForeignShare(path, folders)) << path;
    EXPECT_TRUE(reachesForeignShare("\\\\files\\manuals\\a.pdf", {"C:\\docs"}));
    ASSERT_TRUE(networkShareOf("\\\\?\\UNC\\srv\\sh\\x"));
    EXPECT_EQ("srv", networkShareOf("\\\\?\\UNC\\srv\\sh\\x")->server);
    EXPECT_EQ("sh", networkShareOf("\\\\?\\UNC\\srv\\sh\\x")->share);
}
