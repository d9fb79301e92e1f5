# What the Tarvo Notes setup script relies on from the program and the DLL, under wine64:
#   - the window keeps a page the user changed in HKCU "Notes", and a page only looked at nowhere;
#   - "notes.exe /cleanup" deletes the user's "Notes" value and the key when nothing else is in it,
#     but leaves values it does not own;
#   - regsvr32 on notes-shell.dll sets HKLM "Registered" = 1; unregistering removes it, and the key
#     only when it is empty.
# Arguments: NOTES (notes.exe), SHELL_DLL (notes-shell.dll), UIDRIVER (tarvo-uidriver.exe), WINE_RUN.

cmake_minimum_required(VERSION 3.25)

set(key_user "HKCU\\Software\\Tarvo Notes")
set(key_machine "HKLM\\Software\\Tarvo Notes")

function(run expect)
  execute_process(COMMAND "${WINE_RUN}" ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(JOIN " " command ${ARGN})
  message("> ${command} -> ${rc}\n${out}${err}")
  if(expect STREQUAL "fail")
    if(rc EQUAL 0)
      message(FATAL_ERROR "expected a failure, got exit code 0")
    endif()
  elseif(NOT rc EQUAL expect)
    message(FATAL_ERROR "exit code ${rc}, expected ${expect}")
  endif()
  set(run_output "${out}${err}" PARENT_SCOPE)
endfunction()

function(reset_keys)
  execute_process(COMMAND "${WINE_RUN}" reg delete "${key_user}" /f OUTPUT_QUIET ERROR_QUIET)
  execute_process(COMMAND "${WINE_RUN}" reg delete "${key_machine}" /f OUTPUT_QUIET ERROR_QUIET)
endfunction()

# session(KEY...): notes.exe runs while the UI driver types the keys into its window and closes it.
function(session)
  execute_process(
    COMMAND "${WINE_RUN}" "${NOTES}"
    COMMAND "${WINE_RUN}" "${UIDRIVER}" wait "Tarvo Notes" 20000 keys "Tarvo Notes" ${ARGN} Alt+F4
            gone "Tarvo Notes" 20000
    RESULTS_VARIABLE codes OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("> notes.exe with keys ${ARGN} -> ${codes}\n${out}${err}")
  if(NOT codes STREQUAL "0;0")
    message(FATAL_ERROR "the session ended with ${codes}")
  endif()
endfunction()

reset_keys()

# A page only looked at leaves no per-user data; a changed one is kept, and /cleanup removes it.
session()
run(fail reg query "${key_user}")
session(N o t e)
run(0 reg query "${key_user}" /v Notes)
if(NOT run_output MATCHES "REG_SZ[ \t]+Note")
  message(FATAL_ERROR "the typed page was not kept")
endif()
run(0 "${NOTES}" /cleanup)
run(fail reg query "${key_user}")

# Clean-up with only the program's own value: the key goes too.
run(0 reg add "${key_user}" /v Notes /t REG_SZ /d "a page" /f)
run(0 "${NOTES}" /cleanup)
run(fail reg query "${key_user}")

# Clean-up beside a value the installer wrote: that value and the key stay.
run(0 reg add "${key_user}" /v Notes /t REG_SZ /d "a page" /f)
run(0 reg add "${key_user}" /v Welcome /t REG_SZ /d "hello" /f)
run(0 "${NOTES}" /CLEANUP)
run(fail reg query "${key_user}" /v Notes)
run(0 reg query "${key_user}" /v Welcome)

# Clean-up with nothing to clean is a success.
reset_keys()
run(0 "${NOTES}" /cleanup)

# Registration on its own: the key is created and removed again.
run(0 regsvr32 /s "Z:${SHELL_DLL}")
run(0 reg query "${key_machine}" /v Registered)
if(NOT run_output MATCHES "REG_DWORD[ \t]+0x1")
  message(FATAL_ERROR "Registered is not the DWORD 1")
endif()
run(0 regsvr32 /u /s "Z:${SHELL_DLL}")
run(fail reg query "${key_machine}")

# Registration beside the installer's values: unregistering leaves them and the key.
run(0 reg add "${key_machine}" /v WordWrap /t REG_DWORD /d 1 /f)
run(0 regsvr32 /s "Z:${SHELL_DLL}")
run(0 reg query "${key_machine}" /v Registered)
run(0 regsvr32 /u /s "Z:${SHELL_DLL}")
run(fail reg query "${key_machine}" /v Registered)
run(0 reg query "${key_machine}" /v WordWrap)

reset_keys()
