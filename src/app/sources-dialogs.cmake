# The dialogs, the commit and restart, the unattended modes, the language
# menu and the web links (part of the hivora_app library).
list(APPEND HIVORA_APP_SOURCES
  ${CMAKE_SOURCE_DIR}/src/settings/options_dialog.cpp
  ${CMAKE_SOURCE_DIR}/src/settings/ask_delete_dialog.cpp
  ${CMAKE_SOURCE_DIR}/src/settings/about_dialog.cpp
  ${CMAKE_SOURCE_DIR}/src/settings/dialog_commands.cpp
  ${CMAKE_SOURCE_DIR}/src/settings/language_menu.cpp
  ${CMAKE_SOURCE_DIR}/src/workflow/system_point.cpp
  ${CMAKE_SOURCE_DIR}/src/workflow/commit.cpp
  ${CMAKE_SOURCE_DIR}/src/workflow/scan_report.cpp
  ${CMAKE_SOURCE_DIR}/src/workflow/silent_modes.cpp
  ${CMAKE_SOURCE_DIR}/src/shell/web_links.cpp
)

# The shipped language files, in Windows-1252, copied next to the program
# into <build>/Languages/ where LanguageFilePath looks for them.
set(HIVORA_LANGUAGE_FILES
  ${CMAKE_SOURCE_DIR}/src/resources/languages/DLan_German.ini
  ${CMAKE_SOURCE_DIR}/src/resources/languages/DLan_French.ini
  ${CMAKE_SOURCE_DIR}/src/resources/languages/DLan_Spanish.ini
  ${CMAKE_SOURCE_DIR}/src/resources/languages/DLan_Italian.ini
  ${CMAKE_SOURCE_DIR}/src/resources/languages/DLan_BrazilianPortuguese.ini
)
set(HIVORA_LANGUAGES_DIR ${CMAKE_BINARY_DIR}/Languages)
add_custom_command(
  OUTPUT ${HIVORA_LANGUAGES_DIR}/.stamp
  COMMAND ${CMAKE_COMMAND} -E make_directory ${HIVORA_LANGUAGES_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${HIVORA_LANGUAGE_FILES} ${HIVORA_LANGUAGES_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${HIVORA_LANGUAGES_DIR}/.stamp
  DEPENDS ${HIVORA_LANGUAGE_FILES}
  COMMENT "Copying the language files to ${HIVORA_LANGUAGES_DIR}"
  VERBATIM)
add_custom_target(hivora_languages ALL DEPENDS ${HIVORA_LANGUAGES_DIR}/.stamp)
