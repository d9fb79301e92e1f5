# The Tarvo Notes project folder packs, under wine64 with tarvo-build.exe:
#   1. the folder is assembled (the build target example-notes-project, a no-op when current);
#   2. its script still uses every kind of section that the example is there to show;
#   3. "build --raw" packs it, and "list" shows exactly the expected entries with correct checksums;
#   4. the extracted entries are the project's files, and the packaged setup.dat is the project's
#      with the [CopyFile] sources replaced by their entry names.
# Arguments: BUILD_DIR, BUILDER (tarvo-build.exe), PROJECT (the assembled folder), WORK, WINE_RUN.

cmake_minimum_required(VERSION 3.25)

function(run expect)
  execute_process(COMMAND "${WINE_RUN}" ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(JOIN " " command ${ARGN})
  message("> ${command}\n${out}${err}")
  if(NOT rc EQUAL expect)
    message(FATAL_ERROR "exit code ${rc}, expected ${expect}")
  endif()
  set(run_output "${out}${err}" PARENT_SCOPE)
endfunction()

function(expect_same a b)
  file(SHA256 "${a}" ha)
  file(SHA256 "${b}" hb)
  if(NOT ha STREQUAL hb)
    message(FATAL_ERROR "'${a}' differs from '${b}'")
  endif()
endfunction()

execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BUILD_DIR}" --target example-notes-project
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "assembling the project failed")
endif()

# The script as lines (CMake would lose the carriage returns of a plain read).
file(STRINGS "${PROJECT}/setup.dat" lines)
list(TRANSFORM lines REPLACE "\r$" "")
foreach(header
    "[Project Name]" "[ProgramVersion]" "[Install To]" "[UninstallSettings]" "[SaveInstallPath]"
    "[LocateInstall]" "[Action]" "[CopyFile]" "[CreateIcon]" "[Registry]" "[Message]" "[RunFile]"
    "[RunAndWaitFile]" "[UninstallAction]")
  list(FIND lines "${header}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "setup.dat has no ${header} section")
  endif()
endforeach()
foreach(line "HKLM" "HKCU" "STRING" "DWORD" "BINARY" "Information"
    "Optional - Create a desktop icon" "Optional - Start Tarvo Notes" "Optional - View the readme")
  list(FIND lines "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "setup.dat has no line '${line}'")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(w_project "Z:${PROJECT}")
set(w_work "Z:${WORK}")

run(0 "${BUILDER}" build "${w_project}" --raw -o "${w_work}/tarvo-notes.pkg")
run(0 "${BUILDER}" list "${w_work}/tarvo-notes.pkg")
string(REPLACE "\r" "" listing "${run_output}")
string(REPLACE "\n" ";" listing "${listing}")
set(names)
foreach(line IN LISTS listing)
  # offset, packed, unpacked, checksum, name
  if(line MATCHES "^ *[0-9]+ +[0-9]+ +[0-9]+  [0-9A-F]+  (.+)$")
    list(APPEND names "${CMAKE_MATCH_1}")
  endif()
endforeach()
set(expected "setup.dat" "setup.bmp" "setup.lic" "1001 - notes.exe" "1002 - notes-shell.dll"
  "1003 - readme.txt" "data\\palette.bin")
list(SORT names)
list(SORT expected)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "entries\n  ${names}\nexpected\n  ${expected}")
endif()
if(NOT run_output MATCHES "checksums correct")
  message(FATAL_ERROR "list did not confirm the checksums")
endif()

run(0 "${BUILDER}" extract "${w_work}/tarvo-notes.pkg" -o "${w_work}/out")
expect_same("${WORK}/out/1001 - notes.exe" "${PROJECT}/bin/notes.exe")
expect_same("${WORK}/out/1002 - notes-shell.dll" "${PROJECT}/bin/notes-shell.dll")
expect_same("${WORK}/out/1003 - readme.txt" "${PROJECT}/readme.txt")
expect_same("${WORK}/out/data/palette.bin" "${PROJECT}/data/palette.bin")
expect_same("${WORK}/out/setup.bmp" "${PROJECT}/setup.bmp")
expect_same("${WORK}/out/setup.lic" "${PROJECT}/setup.lic")

file(READ "${PROJECT}/setup.dat" script HEX)
foreach(pair "bin\\notes.exe|1001 - notes.exe" "bin\\notes-shell.dll|1002 - notes-shell.dll"
    "readme.txt|1003 - readme.txt")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 entry)
  string(HEX "${source}" source)
  string(HEX "${entry}" entry)
  # The source line right after a [CopyFile] header (5b436f707946696c655d).
  string(REPLACE "5b436f707946696c655d0d0a${source}0d0a" "5b436f707946696c655d0d0a${entry}0d0a" script "${script}")
endforeach()
file(READ "${WORK}/out/setup.dat" packaged HEX)
if(NOT packaged STREQUAL script)
  message(FATAL_ERROR "the packaged setup.dat is not the project's with its sources renamed")
endif()
