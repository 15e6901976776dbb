# hivora_fake_platform: the test platform (FakePlatform), which keeps the
# offline platform's Windows rules. Include this file from a test folder's
# CMakeLists.txt and link the target.
if(NOT TARGET hivora_fake_platform)
  add_library(hivora_fake_platform STATIC
    ${CMAKE_CURRENT_LIST_DIR}/fake_platform.cpp
  )
  target_link_libraries(hivora_fake_platform PUBLIC hivora_platform hivora_platform_offline hivora_test_support)
  hivora_warnings(hivora_fake_platform)
endif()
if(NOT TARGET fake_platform_test)
  hivora_test(fake_platform_test ${CMAKE_CURRENT_LIST_DIR}/fake_platform_test.cpp LIBS hivora_fake_platform)
endif()
