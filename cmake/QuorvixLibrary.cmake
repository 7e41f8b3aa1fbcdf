# quorvix_library(NAME [EXCLUDE file...]): a static library of every .cpp in the
# current folder (new files are picked up without editing CMake). The folder
# itself is the include root of the project, so headers are included as
# "media/WYXAviFile.h".
function(quorvix_library name)
  cmake_parse_arguments(QL "" "" "EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(ex IN LISTS QL_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
  endforeach()
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    set(sources ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${name} STATIC ${sources} ${headers})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# quorvix_test(NAME DIR LIBS...): one GoogleTest executable of every .cpp in DIR.
function(quorvix_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} quorvix_testsupport GTest::gtest GTest::gtest_main Threads::Threads)
  # The environment goes through env(1) as the test launcher: a list given to
  # the discovered tests' ENVIRONMENT property would be split at its semicolons.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
    "env;QT_QPA_PLATFORM=offscreen;QUORVIX_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUORVIX_BINARY_DIR=${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_TIMEOUT 60)
endfunction()
