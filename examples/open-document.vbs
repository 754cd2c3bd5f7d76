' Opens a document of a theme through the VOG control, from a script host:
'
'     cscript open-document.vbs THEME FILE [MEMBER]
'     cscript open-document.vbs Manuals guide.pdf
'     cscript open-document.vbs Manuals archive.rar chapter1.txt
'
' open theme, file, intFile, info returns at once. The control finds the file (on the search path,
' then in the theme's folders, else it shows the "Vog File Loader" dialog until the file turns up),
' extracts MEMBER when FILE is a RAR archive, opens the result with its program and waits for that
' program on a thread of this process. So the script stays until the user says it is done: when the
' script host ends, that work ends with it (and an extracted copy is not deleted).
Option Explicit
Dim args, vog, member
Set args = WScript.Arguments
If args.Count < 2 Then
    WScript.Echo "usage: cscript open-document.vbs THEME FILE [MEMBER]"
    WScript.Quit 2
End If

On Error Resume Next
Set vog = CreateObject("VOG.VogCtrl.1")
If Err.Number <> 0 Then
    WScript.Echo "The VOG control is not registered (regsvr32 VOG.OCX, or install VOG-x64.msi)."
    WScript.Quit 1
End If
On Error GoTo 0

member = ""
If args.Count > 2 Then member = args(2)
' All four arguments are required; info is free text that the control carries and ignores.
vog.open args(0), args(1), member, "open-document.vbs"
WScript.Echo "Asked for " & args(1) & " of the theme " & args(0) & "."

MsgBox "Click OK when you are done with the document.", vbOKOnly, "VOG example"
