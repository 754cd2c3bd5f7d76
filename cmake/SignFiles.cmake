# Signs each file named after the script in place with osslsigncode (cmake -P SignFiles.cmake FILE...):
# the certificate from VOG_SIGN_CERT, its password from VOG_SIGN_PASSWORD, a time stamp from
# VOG_SIGN_TIMESTAMP when set (see Signing.cmake). A file that cannot be signed fails the build and is
# left as it was.
if(NOT VOG_OSSLSIGNCODE)
  message(FATAL_ERROR "osslsigncode was not found")
endif()
if(NOT DEFINED ENV{VOG_SIGN_CERT} OR NOT EXISTS "$ENV{VOG_SIGN_CERT}")
  message(FATAL_ERROR "VOG_SIGN_CERT must name the PKCS#12 file of the signing certificate")
endif()

# The files are the arguments after the script's own path (cmake ... -P SignFiles.cmake FILE...).
set(files)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(index RANGE 1 ${last})
  if(DEFINED first AND index GREATER_EQUAL first)
    list(APPEND files "${CMAKE_ARGV${index}}")
  elseif(CMAKE_ARGV${index} STREQUAL "-P")
    math(EXPR first "${index} + 2")
  endif()
endforeach()
if(NOT files)
  message(FATAL_ERROR "no file to sign")
endif()

# The password goes through a file only the build's user can read, not the command line, which
# every user of the machine can see in the process list.
string(RANDOM LENGTH 12 tag)
set(passwordFile "${CMAKE_CURRENT_BINARY_DIR}/.vog-sign-${tag}")
file(WRITE "${passwordFile}" "")
file(CHMOD "${passwordFile}" PERMISSIONS OWNER_READ OWNER_WRITE)
file(APPEND "${passwordFile}" "$ENV{VOG_SIGN_PASSWORD}")
set(timestamp)
if(NOT "$ENV{VOG_SIGN_TIMESTAMP}" STREQUAL "")
  set(timestamp -ts "$ENV{VOG_SIGN_TIMESTAMP}")
endif()

set(failed)
foreach(file IN LISTS files)
  get_filename_component(name "${file}" NAME)
  execute_process(
    COMMAND ${VOG_OSSLSIGNCODE} sign -pkcs12 "$ENV{VOG_SIGN_CERT}" -readpass "${passwordFile}" -h sha256
            -n "VOG" ${timestamp} -in "${file}" -out "${file}.signed"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result EQUAL 0)
    file(RENAME "${file}.signed" "${file}")
  else()
    file(REMOVE "${file}.signed")
    set(failed "${name}: ${output}")
    break()
  endif()
endforeach()
file(REMOVE "${passwordFile}")
if(failed)
  message(FATAL_ERROR "signing failed: ${failed}")
endif()
