# The product's version, derived from project(hivora VERSION ...):
#   HIVORA_VERSION            as written there ("2.3"), shown by --version and the About box
#   HIVORA_VERSION_QUAD       four fields with missing ones 0 ("2,3,0,0"), for the version resource
#   HIVORA_VERSION_DOTTED4    the same with dots ("2.3.0.0"), for the manifest
#   HIVORA_VERSION_MSI        the first three fields ("2.3.0"), what an MSI upgrade compares
#   HIVORA_UPDATE_PAGE        the name of the web page announcing the next version ("updatev23.htm")
# A generated header hivora_version.h carries them to C++ and to the resource
# compiler; targets that need it link hivora_version.
set(HIVORA_VERSION "${PROJECT_VERSION}")
foreach(part MAJOR MINOR PATCH TWEAK)
  set(HIVORA_VERSION_${part} "${PROJECT_VERSION_${part}}")
  if(HIVORA_VERSION_${part} STREQUAL "")
    set(HIVORA_VERSION_${part} 0)
  endif()
endforeach()
set(HIVORA_VERSION_QUAD "${HIVORA_VERSION_MAJOR},${HIVORA_VERSION_MINOR},${HIVORA_VERSION_PATCH},${HIVORA_VERSION_TWEAK}")
set(HIVORA_VERSION_DOTTED4 "${HIVORA_VERSION_MAJOR}.${HIVORA_VERSION_MINOR}.${HIVORA_VERSION_PATCH}.${HIVORA_VERSION_TWEAK}")
set(HIVORA_VERSION_MSI "${HIVORA_VERSION_MAJOR}.${HIVORA_VERSION_MINOR}.${HIVORA_VERSION_PATCH}")
set(HIVORA_UPDATE_PAGE "updatev${HIVORA_VERSION_MAJOR}${HIVORA_VERSION_MINOR}.htm")

set(HIVORA_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
# The shipped language files, with the version filled in (src/app).
set(HIVORA_LANGUAGES_DIR "${HIVORA_GENERATED_DIR}/Languages")
configure_file("${CMAKE_SOURCE_DIR}/cmake/hivora_version.h.in" "${HIVORA_GENERATED_DIR}/hivora_version.h" @ONLY)
configure_file("${CMAKE_SOURCE_DIR}/src/resources/win32/hivora.manifest.in" "${HIVORA_GENERATED_DIR}/hivora.manifest" @ONLY)
add_library(hivora_version INTERFACE)
target_include_directories(hivora_version INTERFACE "${HIVORA_GENERATED_DIR}")
