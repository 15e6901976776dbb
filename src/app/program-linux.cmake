# hivora: the Linux program (offline installation, terminal front end).
if(NOT WIN32 AND TARGET hivora_app AND TARGET hivora_ui_console AND TARGET hivora_platform_offline)
  add_executable(hivora ${CMAKE_SOURCE_DIR}/src/app/main_linux.cpp)
  target_link_libraries(hivora PRIVATE hivora_app hivora_ui_console hivora_platform_offline)
  hivora_warnings(hivora)
endif()

# Installed layout: the programs in bin/, the language files in
# share/talvix-hivora/Languages/ (found through the program's data folder,
# <bin>/../share/talvix-hivora/). Settings go to the user's configuration
# folder, never beside an installed program.
if(NOT WIN32 AND TARGET hivora)
  include(GNUInstallDirs)
  install(TARGETS hivora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(TARGET hivora-hive)
    install(TARGETS hivora-hive RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  install(FILES ${HIVORA_LANGUAGE_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/talvix-hivora/Languages)
endif()
