# zeta_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>])
# Builds one GoogleTest executable and registers each of its tests with CTest.
# Label "peer" marks tests that run an outside program, "gui" marks widget tests.
function(zeta_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE
    ZETA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ZETA_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(_props TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZETA_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
  if(T_LABELS)
    list(APPEND _props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST PROPERTIES ${_props})
endfunction()
