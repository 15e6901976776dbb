# Fails unless src/platform/win32/win.h is the only tracked file that
# includes <windows.h>. Run as: cmake -DGIT=git -DREPO=<checkout> -P windows_h_check.cmake
execute_process(
  COMMAND ${GIT} -C ${REPO} grep --untracked -l -i -E "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]windows\\.h[>\"]"
  OUTPUT_VARIABLE hits
  RESULT_VARIABLE rc)
if(rc GREATER 1)
  message(FATAL_ERROR "git grep failed (${rc})")
endif()
string(STRIP "${hits}" hits)
string(REPLACE "\n" ";" hits "${hits}")
if(NOT hits STREQUAL "src/platform/win32/win.h")
  message(FATAL_ERROR "<windows.h> must be included by src/platform/win32/win.h only; found in: ${hits}")
endif()
