// The control in Wine's script host, cscript, after regsvr32: JScript and VBScript create it by its
// ProgID and call open. Wine's cscript exits with 0 whatever happens, so every script is judged by
// the lines it prints, and each one ends by printing "end".
#include "ControlHarness.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace control_tests;

namespace {

class ScriptHostTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(registration.exitCode, 0u); }

    // Runs source as a script file of the given kind ("js" or "vbs") and returns its output lines.
    std::vector<std::string> run(const std::string& extension, const std::string& source)
    {
        std::string folder = testing_support::scratchFolder("scripts");
        std::string path = folder + "\\script." + extension;
        EXPECT_TRUE(testing_support::writeFile(path, source));
        ProcessResult result = runProcess("cscript.exe //nologo \"" + path + "\"");
        EXPECT_TRUE(result.finished) << "the script did not end: " << result.output;
        testing_support::deleteTree(folder);
        std::vector<std::string> lines;
        for (const std::string& line : outputLines(result.output)) {
            // Wine's own diagnostics on standard error are not the script's.
            if (line.find("Read access denied") == std::string::npos)
                lines.push_back(line);
        }
        return lines;
    }

    void expectIllegalCallBoxes(const MessageBoxWatch& boxes, size_t count)
    {
        std::vector<SeenBox> seen = boxes.seen();
        EXPECT_EQ(seen.size(), count);
        for (const SeenBox& box : seen) {
            EXPECT_EQ(box.caption, "Vog Control");
            EXPECT_EQ(box.text, "Illegal call");
        }
    }

    ServerRegistration registration;
};

TEST_F(ScriptHostTest, JScriptCallsWithTooFewOrTooManyArgumentsFailWithoutABox)
{
    MessageBoxWatch boxes;
    std::vector<std::string> output = run("js", R"(
var vog = new ActiveXObject("VOG.VogCtrl.1");
function attempt(label, call) {
    try { call(); WScript.Echo(label + " accepted"); }
    catch (e) { WScript.Echo(label + " " + (e.number >>> 0).toString(16)); }
}
attempt("three", function () { vog.open("manuals", "guide.txt", ""); });
attempt("five", function () { vog.open("manuals", "guide.txt", "", "", ""); });
attempt("none", function () { vog.open(); });
WScript.Echo("end");
)");
    EXPECT_EQ(output, (std::vector<std::string>{"three 8002000f", "five 8002000e", "none 8002000f", "end"}));
    EXPECT_TRUE(boxes.seen().empty());
}

TEST_F(ScriptHostTest, JScriptWithoutThemeOrFileShowsIllegalCall)
{
    MessageBoxWatch boxes;
    std::vector<std::string> output = run("js", R"(
var vog = new ActiveXObject("VOG.VogCtrl.1");
vog.open("", "guide.txt", "", ""); WScript.Echo("empty theme");
vog.open("manuals", "", "", ""); WScript.Echo("empty file");
vog.open(null, "guide.txt", null, null); WScript.Echo("null theme");
vog.open(undefined, "guide.txt", undefined, undefined); WScript.Echo("undefined theme");
vog.open("manuals", null, "", ""); WScript.Echo("null file");
WScript.Echo("end");
)");
    EXPECT_EQ(output, (std::vector<std::string>{"empty theme", "empty file", "null theme", "undefined theme",
                                                "null file", "end"}));
    expectIllegalCallBoxes(boxes, 5);
}

TEST_F(ScriptHostTest, VBScriptCallsWithTooFewOrTooManyArgumentsFailWithoutABox)
{
    MessageBoxWatch boxes;
    // VBScript reports the two refusals as its errors 449 and 450.
    std::vector<std::string> output = run("vbs",
        "Set vog = CreateObject(\"VOG.VogCtrl.1\")\r\n"
        "On Error Resume Next\r\n"
        "vog.open \"manuals\", \"guide.txt\", \"\"\r\n"
        "WScript.Echo \"three \" & Err.Number\r\n"
        "Err.Clear\r\n"
        "vog.open \"manuals\", \"guide.txt\", \"\", \"\", \"\"\r\n"
        "WScript.Echo \"five \" & Err.Number\r\n"
        "WScript.Echo \"end\"\r\n");
    EXPECT_EQ(output, (std::vector<std::string>{"three 449", "five 450", "end"}));
    EXPECT_TRUE(boxes.seen().empty());
}

// A page that loops over open: past 16 running requests of one control the call is a script error the
// page can catch. The script then ends at once, while its 48 workers are still starting their
// dialogs, and the host must end too: the module's detach at process exit once unregistered its
// window class, after the workers had been ended inside the window server, and hung one exit in
// three. Several runs, since the workers' moment of death varies.
TEST_F(ScriptHostTest, APageLoopingOverOpenIsRefusedPastTheLimitAndItsHostStillEnds)
{
    const std::string script = "var refused = 0, message = \"\";\n"
                               "for (var c = 0; c < 3; c++) {\n"
                               "  var vog = new ActiveXObject(\"VOG.VogCtrl.1\");\n"
                               "  for (var i = 0; i < 17; i++) {\n"
                               "    try { vog.open(\"" + testing_support::uniqueName("Loop") + "\", \"m\" + i + \".txt\", \"\", \"\"); }\n"
                               "    catch (e) { refused++; message = e.message; }\n"
                               "  }\n"
                               "}\n"
                               "WScript.Echo(refused + \" refused: \" + message);\n"
                               "WScript.Echo(\"end\");\n";
    for (int attempt = 0; attempt < 6 && !HasFailure(); ++attempt) {
        EXPECT_EQ(run("js", script),
                  (std::vector<std::string>{"3 refused: Vog is already opening 16 documents for this page; open this "
                                            "one when one of them is done.",
                                            "end"}))
            << "run " << attempt;
    }
}

// Wine's VBScript parses gaps between arguments but not after the last one.
TEST_F(ScriptHostTest, VBScriptWithoutThemeOrFileShowsIllegalCall)
{
    MessageBoxWatch boxes;
    std::vector<std::string> output = run("vbs",
        "Set vog = CreateObject(\"VOG.VogCtrl.1\")\r\n"
        "vog.open \"\", \"guide.txt\", \"\", \"\"\r\n"
        "WScript.Echo \"empty theme\"\r\n"
        "vog.open \"manuals\", \"\", \"\", \"\"\r\n"
        "WScript.Echo \"empty file\"\r\n"
        "vog.open Null, \"guide.txt\", Null, Null\r\n"
        "WScript.Echo \"null theme\"\r\n"
        "vog.open , \"guide.txt\", , \"\"\r\n"
        "WScript.Echo \"omitted theme\"\r\n"
        "vog.open Empty, \"guide.txt\", \"\", \"\"\r\n"
        "WScript.Echo \"empty variant theme\"\r\n"
        "WScript.Echo \"end\"\r\n");
    EXPECT_EQ(output, (std::vector<std::string>{"empty theme", "empty file", "null theme", "omitted theme",
                                                "empty variant theme", "end"}));
    expectIllegalCallBoxes(boxes, 5);
}

}  // namespace
