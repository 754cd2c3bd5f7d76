# Authenticode signing of what the build ships, with Debian's osslsigncode. Off unless the build is
# configured with -DVOG_SIGN=ON; then VOG.OCX, vog.exe and vogw.exe are signed before they go into
# the MSI package, and the package after it is built. The certificate and its password never enter
# the tree or the CMake cache: the signing step reads them from the environment of the build.
#   VOG_SIGN_CERT       the organisation's code-signing certificate with its key, a PKCS#12 (.pfx) file
#   VOG_SIGN_PASSWORD   the password of that file (may be empty)
#   VOG_SIGN_TIMESTAMP  optional: the URL of an RFC 3161 time-stamping server
# VOG_SIGN_COMMAND is the command to put before the files to sign (in place) in a custom command.
option(VOG_SIGN "Sign VOG.OCX, vog.exe, vogw.exe and the MSI package (certificate from the environment)" OFF)
set(VOG_SIGN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/SignFiles.cmake)
find_program(VOG_OSSLSIGNCODE osslsigncode)
set(VOG_SIGN_COMMAND ${CMAKE_COMMAND} -DVOG_OSSLSIGNCODE=${VOG_OSSLSIGNCODE} -P ${VOG_SIGN_SCRIPT})
if(VOG_SIGN AND NOT VOG_OSSLSIGNCODE)
  message(FATAL_ERROR "VOG_SIGN is on but osslsigncode was not found (install the Debian package osslsigncode)")
endif()
