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
    list(APPEND _props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST PROPERTIES ${_props})
endfunction()
