// Opens a document of a theme through the VOG control, from a script host:
//
//     cscript open-document.js THEME FILE [MEMBER]
//     cscript open-document.js Manuals guide.pdf
//     cscript open-document.js Manuals archive.rar chapter1.txt
//
// open(theme, file, intFile, info) returns at once. The control finds the file (on the search path,
// then in the theme's folders, else it shows the "Vog File Loader" dialog until the file turns up),
// extracts MEMBER when FILE is a RAR archive, opens the result with its program and waits for that
// program on a thread of this process. So the script stays until the user says it is done: when the
// script host ends, that work ends with it (and an extracted copy is not deleted).
var args = WScript.Arguments;
if (args.length < 2) {
    WScript.Echo("usage: cscript open-document.js THEME FILE [MEMBER]");
    WScript.Quit(2);
}

var vog;
try {
    vog = new ActiveXObject("VOG.VogCtrl.1");
} catch (e) {
    WScript.Echo("The VOG control is not registered (regsvr32 VOG.OCX, or install VOG-x64.msi).");
    WScript.Quit(1);
}
var member = args.length > 2 ? args(2) : "";
vog.open(args(0), args(1), member, "open-document.js");
WScript.Echo("Asked for " + args(1) + (member ? " (member " + member + ")" : "") + " of the theme " + args(0) + ".");

// Popup works in cscript and wscript alike; 0: no time-out.
new ActiveXObject("WScript.Shell").Popup("Click OK when you are done with the document.", 0, "VOG example", 0);
