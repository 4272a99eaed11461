# One helper registers every test program with CTest.
#   orvo_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib... [QT])
# QT tests run under the offscreen platform so they need no display.
if(ORVO_TESTS)
  enable_testing()
  if(NOT (WIN32 AND CMAKE_CROSSCOMPILING))
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endif()

function(orvo_add_test)
  cmake_parse_arguments(T "QT" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_QT)
    # Window tests need a QApplication made after the offscreen platform is chosen: their main
    # comes from tests/console.
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock orvo_qt_test_main)
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # gtest_discover_tests passes one environment entry only (a list would be split into separate
  # property arguments), so everything else a test needs comes from the test's own main.
  # Window tests carry the label "qt": the thread-sanitizer run leaves them out, because Debian's
  # Qt is not built with the sanitizer and its own thread hand-offs would be reported as races.
  set(labels "")
  if(T_QT)
    set(labels qt)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "ORVO_BIN_DIR=${CMAKE_BINARY_DIR}/bin" LABELS "${labels}")
endfunction()
