# The dialogs, the commit and restart, the unattended modes, the language
# menu and the web links (part of the hivora_app library).
list(APPEND HIVORA_APP_SOURCES
  ${CMAKE_SOURCE_DIR}/src/settings/options_dialog.cpp
  ${CMAKE_SOURCE_DIR}/src/settings/ask_delete_dialog.cpp
  ${CMAKE_SOURCE_DIR}/src/settings/about_dialog.cpp
  ${CMAKE_SOURCE_DIR}/src/shell/dialog_commands.cpp
  ${CMAKE_SOURCE_DIR}/src/settings/language_menu.cpp
  ${CMAKE_SOURCE_DIR}/src/shell/language_commands.cpp
  ${CMAKE_SOURCE_DIR}/src/workflow/system_point.cpp
  ${CMAKE_SOURCE_DIR}/src/shell/commit.cpp
  ${CMAKE_SOURCE_DIR}/src/workflow/scan_report.cpp
  ${CMAKE_SOURCE_DIR}/src/shell/silent_modes.cpp
  ${CMAKE_SOURCE_DIR}/src/shell/web_links.cpp
)

# The shipped language files, in Windows-1252. They are copied into the
# folder "Languages" beside the program, where LanguageFilePath looks for
# them (the program's data folder; <prefix>/share/talvix-hivora/Languages
# once installed). The program's target is defined after this file, so the
# copy is set up once the folder has been read.
set(HIVORA_LANGUAGE_FILES
  ${CMAKE_SOURCE_DIR}/src/resources/languages/DLan_German.ini
  ${CMAKE_SOURCE_DIR}/src/resources/languages/DLan_French.ini
  ${CMAKE_SOURCE_DIR}/src/resources/languages/DLan_Spanish.ini
  ${CMAKE_SOURCE_DIR}/src/resources/languages/DLan_Italian.ini
  ${CMAKE_SOURCE_DIR}/src/resources/languages/DLan_BrazilianPortuguese.ini
)
function(hivora_copy_language_files)
  if(TARGET hivora)
    set(dest "$<TARGET_FILE_DIR:hivora>/Languages")
  else()
    set(dest "${CMAKE_BINARY_DIR}/Languages")
  endif()
  add_custom_target(hivora_languages ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory "${dest}"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${HIVORA_LANGUAGE_FILES} "${dest}"
    DEPENDS ${HIVORA_LANGUAGE_FILES}
    COMMENT "Copying the language files to ${dest}"
    VERBATIM)
  if(TARGET hivora)
    add_dependencies(hivora hivora_languages)
  endif()
endfunction()
cmake_language(DEFER CALL hivora_copy_language_files)
