# The application core: main window, start-up, scan thread and progress
# dialog, the analysis run, form translation.
list(APPEND HIVORA_APP_SOURCES
  ${CMAKE_SOURCE_DIR}/src/shell/main_form.cpp
  ${CMAKE_SOURCE_DIR}/src/shell/command_switch.cpp
  ${CMAKE_SOURCE_DIR}/src/shell/startup.cpp
  ${CMAKE_SOURCE_DIR}/src/hive/scan_task_thread.cpp
  ${CMAKE_SOURCE_DIR}/src/hive/progress_dialog.cpp
  ${CMAKE_SOURCE_DIR}/src/shell/analysis_run.cpp
  ${CMAKE_SOURCE_DIR}/src/workflow/figures.cpp
  ${CMAKE_SOURCE_DIR}/src/settings/translate_form.cpp
)
