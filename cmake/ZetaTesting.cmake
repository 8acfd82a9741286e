# zeta_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>] [TSAN])
# Builds one GoogleTest executable and registers each of its tests with CTest.
# Label "peer" marks tests that run an outside program, "gui" marks widget tests.
# TSAN marks tests where threads meet: a ThreadSanitizer build (ZETA_SANITIZE=thread) builds
# and runs only those, through the target zeta_tsan_tests.
# Every program fails when one of its tests leaves files behind (tests/support/no_leftovers.cpp).
if(ZETA_SANITIZE STREQUAL "thread" AND NOT TARGET zeta_tsan_tests)
  add_custom_target(zeta_tsan_tests)
endif()

function(zeta_add_test)
  cmake_parse_arguments(T "TSAN" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(ZETA_SANITIZE STREQUAL "thread")
    if(NOT T_TSAN)
      return()
    endif()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  if(TARGET zeta_tsan_tests)
    add_dependencies(zeta_tsan_tests ${T_NAME})
  endif()
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  if(TARGET zeta_test_no_leftovers)
    target_link_libraries(${T_NAME} PRIVATE zeta_test_no_leftovers)
  endif()
  target_compile_definitions(${T_NAME} PRIVATE
    ZETA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ZETA_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(_props TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(T_LABELS)
    # gtest_discover_tests hands only the first of several labels on (the rest become property
    # names): the labels are set once the program's tests are known, by a file of its own.
    set(_label_file "${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_labels.cmake")
    file(WRITE "${_label_file}"
         "if(${T_NAME}_TESTS)\n  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES LABELS \"${T_LABELS}\")\nendif()\n")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST PROPERTIES ${_props})
  if(T_LABELS)
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${_label_file}")
  endif()
endfunction()
