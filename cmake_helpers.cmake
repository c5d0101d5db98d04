# One static library per folder, from an explicit list of sources, so that a lost file
# fails the build instead of silently dropping a target.
# morvala_library(name SOURCES a.cpp... [LIBS l...]): sources relative to the calling folder.
function(morvala_library name)
  cmake_parse_arguments(L "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT L_SOURCES)
    message(FATAL_ERROR "morvala_library(${name}): no SOURCES")
  endif()
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_LIBS})
endfunction()

# morvala_test(name SOURCES a.cpp... LIBS l... [ALONE Suite.Test...]): a GoogleTest
# executable from a test folder. Tests named under ALONE load every core on purpose; CTest
# runs them while no other test runs, so that they do not starve the timing of others.
function(morvala_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ALONE" ${ARGN})
  if(NOT T_SOURCES)
    message(FATAL_ERROR "morvala_test(${name}): no SOURCES")
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE MORVALA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                               MORVALA_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(filter "*")
  if(T_ALONE)
    list(JOIN T_ALONE ":" alone)
    set(filter "-${alone}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${filter}"
                       PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C")
  foreach(test IN LISTS T_ALONE)
    add_test(NAME ${test} COMMAND ${name} --gtest_filter=${test})
    set_tests_properties(${test} PROPERTIES RUN_SERIAL TRUE
                         ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C")
  endforeach()
endfunction()
