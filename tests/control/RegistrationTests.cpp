// Self-registration with the real clients: regsvr32 registers and unregisters VOG.OCX, and reg query
// shows what it wrote. The failure codes are checked in-process, with HKEY_CLASSES_ROOT redirected.
#include "ControlHarness.h"

#include "control/Identifiers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace control_tests;

namespace {

const std::string classesRoot = "HKEY_CLASSES_ROOT\\";
const std::string controlKey = "CLSID\\{8739CB66-6D75-11D4-B8CF-8DD84C2C1547}";
const std::string pageKey = "CLSID\\{8739CB67-6D75-11D4-B8CF-8DD84C2C1547}";
const std::string progIdKey = "VOG.VogCtrl.1";
const std::string typeLibKey = "TypeLib\\{8739CB63-6D75-11D4-B8CF-8DD84C2C1547}";
const std::string dispatchKey = "Interface\\{8739CB64-6D75-11D4-B8CF-8DD84C2C1547}";
const std::string initializingCategory = "Component Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}";
const std::string scriptingCategory = "Component Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}";

struct QueryResult {
    bool found = false;
    std::vector<std::string> lines;  // "key" for a key, "key|name|type|data" for a value; sorted
};

// `reg query HKCR\<key> /s`: every key below key and every value, as reg prints them.
QueryResult regQuery(const std::string& key)
{
    ProcessResult run = runProcess("reg.exe query \"" + classesRoot + key + "\" /s");
    QueryResult result;
    result.found = run.finished && run.exitCode == 0;
    std::string current;
    for (const std::string& line : outputLines(run.output)) {
        if (line.rfind("HKEY_", 0) == 0) {
            current = line;
            result.lines.push_back(current);
        } else if (line.rfind("    ", 0) == 0) {
            // "    name    REG_SZ    data": the name ends where the type begins.
            size_t type = line.find("    REG_", 4);
            if (type == std::string::npos)
                continue;
            size_t data = line.find("    ", type + 4);
            std::string name = line.substr(4, type - 4);
            std::string typeName = line.substr(type + 4, data == std::string::npos ? std::string::npos : data - type - 4);
            std::string value = data == std::string::npos ? "" : line.substr(data + 4);
            result.lines.push_back(current + "|" + name + "|" + typeName + "|" + value);
        }
    }
    std::sort(result.lines.begin(), result.lines.end());
    return result;
}

std::vector<std::string> sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string value(const std::string& key, const std::string& text, const std::string& name = "(Default)")
{
    return classesRoot + key + "|" + name + "|REG_SZ|" + text;
}

std::string keyLine(const std::string& key)
{
    return classesRoot + key;
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A leftover of an earlier, interrupted run would make every comparison below meaningless.
        runRegsvr32(true);
    }
};

TEST_F(RegistrationTest, Regsvr32WritesExactlyTheClassEntries)
{
    ServerRegistration registration;
    ASSERT_EQ(registration.exitCode, 0u);
    const std::string server = vogModulePath();

    EXPECT_EQ(regQuery(progIdKey).lines, sorted({
        keyLine(progIdKey), value(progIdKey, "Vog Control"),
        keyLine(progIdKey + "\\CLSID"), value(progIdKey + "\\CLSID", "{8739CB66-6D75-11D4-B8CF-8DD84C2C1547}"),
    }));
    const std::string implemented = controlKey + "\\Implemented Categories";
    EXPECT_EQ(regQuery(controlKey).lines, sorted({
        keyLine(controlKey), value(controlKey, "Vog Control"),
        keyLine(controlKey + "\\ProgID"), value(controlKey + "\\ProgID", "VOG.VogCtrl.1"),
        keyLine(controlKey + "\\InprocServer32"), value(controlKey + "\\InprocServer32", server),
        value(controlKey + "\\InprocServer32", "Apartment", "ThreadingModel"),
        keyLine(controlKey + "\\ToolboxBitmap32"), value(controlKey + "\\ToolboxBitmap32", server + ", 1"),
        keyLine(controlKey + "\\MiscStatus"), value(controlKey + "\\MiscStatus", "0"),
        keyLine(controlKey + "\\MiscStatus\\1"), value(controlKey + "\\MiscStatus\\1", "132241"),
        keyLine(controlKey + "\\Control"), value(controlKey + "\\Control", ""),
        keyLine(controlKey + "\\TypeLib"), value(controlKey + "\\TypeLib", "{8739CB63-6D75-11D4-B8CF-8DD84C2C1547}"),
        keyLine(controlKey + "\\Version"), value(controlKey + "\\Version", "2000.805"),
        // Written by the category manager when the control enters its two categories.
        keyLine(implemented),
        keyLine(implemented + "\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"),
        keyLine(implemented + "\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}"),
    }));
    EXPECT_EQ(regQuery(pageKey).lines, sorted({
        keyLine(pageKey), value(pageKey, "Vog Property Page"),
        keyLine(pageKey + "\\InprocServer32"), value(pageKey + "\\InprocServer32", server),
    }));

    EXPECT_EQ(regQuery(initializingCategory).lines, sorted({
        keyLine(initializingCategory),
        value(initializingCategory, "Controls safely initializable from persistent data!", "409"),
    }));
    EXPECT_EQ(regQuery(scriptingCategory).lines, sorted({
        keyLine(scriptingCategory), value(scriptingCategory, "Controls safely scriptable!", "409"),
    }));

    // The type library is registered from the module itself, for locale 1033 (409).
    QueryResult typeLib = regQuery(typeLibKey);
    EXPECT_NE(std::find(typeLib.lines.begin(), typeLib.lines.end(),
                        value(typeLibKey + "\\7d0.325\\409\\win64", server)),
              typeLib.lines.end());
    EXPECT_NE(std::find(typeLib.lines.begin(), typeLib.lines.end(),
                        value(typeLibKey + "\\7d0.325", "vog ActiveX Control module")),
              typeLib.lines.end());
    QueryResult dispatch = regQuery(dispatchKey);
    EXPECT_NE(std::find(dispatch.lines.begin(), dispatch.lines.end(), value(dispatchKey, "_DVog")),
              dispatch.lines.end());
}

TEST_F(RegistrationTest, RegisteringTwiceGivesTheSameEntries)
{
    ServerRegistration registration;
    ASSERT_EQ(registration.exitCode, 0u);
    std::vector<QueryResult> first;
    for (const std::string& key : {progIdKey, controlKey, pageKey, typeLibKey, initializingCategory, scriptingCategory})
        first.push_back(regQuery(key));

    ASSERT_EQ(runRegsvr32(false), 0u);
    size_t index = 0;
    for (const std::string& key : {progIdKey, controlKey, pageKey, typeLibKey, initializingCategory, scriptingCategory}) {
        QueryResult again = regQuery(key);
        EXPECT_TRUE(again.found) << key;
        EXPECT_EQ(again.lines, first[index++].lines) << key;
    }
}

TEST_F(RegistrationTest, UnregisteringRemovesTheClassesAndKeepsTheCategories)
{
    {
        ServerRegistration registration;
        ASSERT_EQ(registration.exitCode, 0u);
        ASSERT_TRUE(regQuery(controlKey).found);
    }
    for (const std::string& key : {progIdKey, controlKey, pageKey, typeLibKey, dispatchKey})
        EXPECT_FALSE(regQuery(key).found) << key;
    EXPECT_EQ(regQuery(initializingCategory).lines, sorted({
        keyLine(initializingCategory),
        value(initializingCategory, "Controls safely initializable from persistent data!", "409"),
    }));
    EXPECT_TRUE(regQuery(scriptingCategory).found);

    // Entries that are already gone count as removed.
    EXPECT_EQ(runRegsvr32(true), 0u);
}

// HKEY_CLASSES_ROOT of this process redirected to a scratch key below HKEY_CURRENT_USER.
class RedirectedClassesRoot {
public:
    RedirectedClassesRoot() : name(std::string(parent) + "\\" + testing_support::uniqueName("classes"))
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, name.c_str());
        HKEY created = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr);
        key.reset(created);
        redirected = key && RegOverridePredefKey(HKEY_CLASSES_ROOT, key.get()) == ERROR_SUCCESS;
    }
    ~RedirectedClassesRoot()
    {
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        key.reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, name.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, parent);  // only when no other test's key is left in it
    }
    bool redirected = false;
    const std::string name;

    // A volatile key takes values but refuses every lasting subkey below it: the registration's
    // first write below it fails.
    bool makeVolatile(const std::string& subkey) const
    {
        HKEY created = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, (name + "\\" + subkey).c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &created, nullptr) != ERROR_SUCCESS)
            return false;
        RegCloseKey(created);
        return true;
    }

    bool exists(const std::string& subkey) const
    {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, (name + "\\" + subkey).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
            return false;
        RegCloseKey(opened);
        return true;
    }

private:
    static constexpr const char* parent = "Software\\VogTests";
    RegistryKey key;
};

TEST_F(RegistrationTest, TypeLibraryThatCannotBeRegisteredGivesSelfRegTypeLib)
{
    VogModule vog;
    ASSERT_TRUE(vog.loaded());
    RedirectedClassesRoot classes;
    ASSERT_TRUE(classes.redirected);
    ASSERT_TRUE(classes.makeVolatile("TypeLib"));
    EXPECT_EQ(vog.registerServer(), static_cast<HRESULT>(0x80040200));
    EXPECT_FALSE(classes.exists(progIdKey));
}

TEST_F(RegistrationTest, FirstFailingClassEntryStopsRegistrationWithSelfRegClass)
{
    VogModule vog;
    ASSERT_TRUE(vog.loaded());
    RedirectedClassesRoot classes;
    ASSERT_TRUE(classes.redirected);
    // The ProgID's default value is written, its subkey "CLSID" is refused.
    ASSERT_TRUE(classes.makeVolatile(progIdKey));

    EXPECT_EQ(vog.registerServer(), static_cast<HRESULT>(0x80040201));
    char text[64] = {};
    LONG size = sizeof text;
    EXPECT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, progIdKey.c_str(), text, &size), ERROR_SUCCESS);
    EXPECT_STREQ(text, "Vog Control");
    EXPECT_FALSE(classes.exists(progIdKey + "\\CLSID"));
    EXPECT_FALSE(classes.exists(controlKey)) << "nothing is written after the failing entry";
    EXPECT_TRUE(classes.exists(typeLibKey)) << "the type library came first";

    EXPECT_EQ(vog.unregisterServer(), S_OK);
    EXPECT_FALSE(classes.exists(progIdKey));
    EXPECT_FALSE(classes.exists(typeLibKey));
}

}  // namespace
