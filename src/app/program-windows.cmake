# hivora.exe: the Windows program (live registry or an offline installation,
# native windows).
if(WIN32 AND TARGET hivora_app AND TARGET hivora_ui_win32 AND TARGET hivora_platform_win32
   AND TARGET hivora_platform_offline)
  enable_language(RC)
  add_executable(hivora WIN32
    ${CMAKE_SOURCE_DIR}/src/app/main_win32.cpp
    ${CMAKE_SOURCE_DIR}/src/app/offline_front_end_win32.cpp
    ${CMAKE_SOURCE_DIR}/src/resources/win32/hivora.rc)
  # The .rc names its pictures relative to its own folder.
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/resources/win32/hivora.rc APPEND PROPERTY
    OBJECT_DEPENDS
      ${CMAKE_SOURCE_DIR}/src/resources/win32/pictures.rc
      ${CMAKE_SOURCE_DIR}/src/resources/win32/resource_ids.h
      ${CMAKE_SOURCE_DIR}/src/resources/win32/hivora.manifest
      ${CMAKE_SOURCE_DIR}/src/resources/win32/background.jpg
      ${CMAKE_SOURCE_DIR}/src/resources/win32/hivora.ico)
  target_include_directories(hivora PRIVATE ${CMAKE_SOURCE_DIR}/src/resources/win32)
  target_link_libraries(hivora PRIVATE hivora_app hivora_ui_win32 hivora_platform_win32 hivora_platform_offline
                                        hivora_libjpeg)
  # A hive of an offline installation is compacted in the process's memory:
  # 4 GiB of address space under WOW64 instead of 2.
  target_link_options(hivora PRIVATE -static -Wl,--large-address-aware)
  set_target_properties(hivora PROPERTIES OUTPUT_NAME hivora SUFFIX .exe)
  hivora_warnings(hivora)
endif()
