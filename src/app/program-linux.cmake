# hivora: the Linux program (offline installation, terminal front end).
if(NOT WIN32 AND TARGET hivora_app AND TARGET hivora_ui_console AND TARGET hivora_platform_offline)
  add_executable(hivora ${CMAKE_SOURCE_DIR}/src/app/main_linux.cpp)
  target_link_libraries(hivora PRIVATE hivora_app hivora_ui_console hivora_platform_offline)
  hivora_warnings(hivora)
endif()
