# Warnings as errors on the project's own targets only.
function(guild_onebot_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# One static library per subsystem, made of every .cpp in its folder.
function(guild_onebot_library target)
  cmake_parse_arguments(ARG "" "" "LINKS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(skip IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${skip})
  endforeach()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC ${ARG_LINKS})
  guild_onebot_warnings(${target})
endfunction()

# One GoogleTest executable per test folder, made of every _test.cpp in it. Each test may run
# TIMEOUT seconds (120 unless given).
function(guild_onebot_tests target)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LINKS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${target} ${sources})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gtest_main Threads::Threads)
  guild_onebot_warnings(${target})
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()
