# tarvo-build.exe and a packed stub under wine64, end to end:
#   1. tarvo-build.exe packs the sample project into the stand-in stub;
#   2. the result runs: through FindResourceW it finds the package, checks its own resources and
#      its header checksum (imagehlp), and writes the package bytes out;
#   3. tarvo-build.exe lists those bytes (all checksums), verifies the installer (every entry
#      decoded) and extracts it, and the extracted files equal the project's (setup.dat with its
#      [CopyFile] lines rewritten); "embed" puts the written-out package into the stub again, and
#      the result finds the very same bytes;
#   4. packing again into the finished installer replaces the package: same bytes, still runs;
#   5. a failed build leaves no output behind.
# Arguments: BUILDER, STUB, PROJECT, WORK, WINE_RUN (scripts/wine-run.sh).

# Wine sees the Linux file system as drive Z:.
function(winpath out path)
  set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()

# run(EXPECT rc ARGS...): a Windows program under wine; its output lands in run_output.
function(run expect)
  execute_process(COMMAND "${WINE_RUN}" ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(JOIN " " command ${ARGN})
  message("> ${command}\n${out}${err}")
  if(expect STREQUAL "fail")
    if(rc EQUAL 0)
      message(FATAL_ERROR "expected a failure, got exit code 0")
    endif()
  elseif(NOT rc EQUAL expect)
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

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
winpath(w_project "${PROJECT}")
winpath(w_stub "${STUB}")
winpath(w_work "${WORK}")

run(0 "${BUILDER}" build "${w_project}" --stub "${w_stub}" -o "${w_work}/setup.exe")
run(0 "${WORK}/setup.exe" "${w_work}/package.bin")
run(0 "${BUILDER}" list "${w_work}/package.bin")
foreach(name "setup.dat" "setup.lic" "1001 - notes.txt" "1002 - readme.txt" "data\\blob.bin" "tool.cmd")
  string(FIND "${run_output}" "${name}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "entry '${name}' is not listed")
  endif()
endforeach()

run(0 "${BUILDER}" verify "${w_work}/setup.exe")
run(0 "${BUILDER}" embed "${w_stub}" "${w_work}/package.bin" -o "${w_work}/embedded.exe")
run(0 "${WORK}/embedded.exe" "${w_work}/embedded-package.bin")
expect_same("${WORK}/embedded-package.bin" "${WORK}/package.bin")

run(0 "${BUILDER}" extract "${w_work}/setup.exe" -o "${w_work}/out")
expect_same("${WORK}/out/1001 - notes.txt" "${PROJECT}/bin/notes.txt")
expect_same("${WORK}/out/1002 - readme.txt" "${PROJECT}/readme.txt")
expect_same("${WORK}/out/data/blob.bin" "${PROJECT}/data/blob.bin")
expect_same("${WORK}/out/tool.cmd" "${PROJECT}/tool.cmd")
expect_same("${WORK}/out/setup.lic" "${PROJECT}/setup.lic")
# The packaged script is the project's with the two [CopyFile] sources renamed; compared as hex
# because CMake's text handling would drop the carriage returns.
function(hex out text)
  string(HEX "${text}" h)
  set(${out} "${h}" PARENT_SCOPE)
endfunction()
hex(old1 "bin\\notes.txt")
hex(new1 "1001 - notes.txt")
hex(old2 "readme.txt")
hex(new2 "1002 - readme.txt")
file(READ "${PROJECT}/setup.dat" expected HEX)
string(REPLACE "0d0a${old1}0d0a" "0d0a${new1}0d0a" expected "${expected}")
string(REPLACE "0d0a${old2}0d0a" "0d0a${new2}0d0a" expected "${expected}")
file(READ "${WORK}/out/setup.dat" packaged HEX)
if(NOT packaged STREQUAL expected)
  message(FATAL_ERROR "the packaged setup.dat is not the project's with its sources renamed:\n${packaged}\n${expected}")
endif()

run(0 "${BUILDER}" build "${w_project}" --stub "${w_work}/setup.exe" -o "${w_work}/setup-again.exe")
expect_same("${WORK}/setup-again.exe" "${WORK}/setup.exe")
run(0 "${WORK}/setup-again.exe")

run(fail "${BUILDER}" build "${w_work}/no-such-project" --stub "${w_stub}" -o "${w_work}/broken.exe")
file(GLOB leftovers "${WORK}/broken.exe*")
if(leftovers)
  message(FATAL_ERROR "a failed build left files behind: ${leftovers}")
endif()
