// The demo's page script, run by scripts/demo in the script host cscript. It does what a page of a
// theme's documents does: create the control and call open(theme, file, intFile, info).
//
//     cscript demo.js THEME SIGNALS HELPER
//
// Before each call it waits until the demo's driver has made the file SIGNALS\go<n> (the driver
// takes a screenshot and closes the viewers between the steps), and at the end until SIGNALS\finish
// exists: the control's workers live in this process, so it stays while they wait for their viewers.
// HELPER is vogdemo.exe, which does the waiting (see demo/DemoHelper.cpp).
var args = WScript.Arguments;
var theme = args(0), signals = args(1), helper = args(2);
var shell = new ActiveXObject("WScript.Shell");

function waitForSignal(name) {
    if (shell.Run("\"" + helper + "\" wait-file \"" + signals + "\\" + name + "\" 120000", 0, true) != 0) {
        WScript.Echo("script: no signal " + name + " from the demo; giving up");
        WScript.Quit(1);
    }
}

var vog = new ActiveXObject("VOG.VogCtrl.1");
WScript.Echo("script: created the control VOG.VogCtrl.1");

var requests = [
    ["welcome.vogdoc", ""],             // 1. in the theme's first folder
    ["chapter2.vogdoc", ""],            // 2. in no folder yet: the File Loader dialog waits for it
    ["release-notes.txt", ""],          // 3. a text of 24000 bytes or more: opened with "wordpad"
    ["manuals.rar", "chapter3.vogdoc"]  // 4. a member of an archive: extracted, opened, deleted
];
for (var i = 0; i < requests.length; i++) {
    var step = i + 1;
    waitForSignal("go" + step);
    vog.open(theme, requests[i][0], requests[i][1], "demo step " + step);
    WScript.Echo("script: open(\"" + theme + "\", \"" + requests[i][0] + "\", \"" + requests[i][1] +
                 "\", \"demo step " + step + "\") returned");
}
waitForSignal("finish");
WScript.Echo("script: end");
