# Helpers that every module's tests/ folder uses, so tests, fuzz targets and benchmarks are
# declared the same way everywhere.

# What every test process gets in its environment: the sanitizers' suppressions and report files
# and, in a coverage build, a profile file of its own per process (spawned servers included).
function(lonvera_test_environment out name)
  set(env "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/.ci/lsan.supp"
          "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/.ci/tsan.supp halt_on_error=0 second_deadlock_stack=1")
  # A sanitizer report of a spawned server would not fail the test that spawned it, so with
  # LONVERA_SANITIZER_REPORT_FILES every process writes its reports to a file of its own, which
  # the test script collects (the test's own reports still fail it through the exit code).
  set(reports ${CMAKE_BINARY_DIR}/sanitizer-reports/${name})
  if(NOT LONVERA_SANITIZER_REPORT_FILES)
  elseif(LONVERA_SANITIZE)
    list(APPEND env "ASAN_OPTIONS=log_path=${reports}")
  elseif(LONVERA_TSAN)
    list(TRANSFORM env APPEND " log_path=${reports}" REGEX "^TSAN_OPTIONS=")
  endif()
  if(LONVERA_COVERAGE)
    list(APPEND env "LLVM_PROFILE_FILE=${CMAKE_BINARY_DIR}/profiles/${name}-%p.profraw")
  endif()
  set(${out} "${env}" PARENT_SCOPE)
endfunction()

# lonvera_add_qtest(NAME SOURCES a.cpp [b.cpp] LIBS lib... [LABELS l...] [TIMEOUT s])
# A QtTest executable registered with ctest. Tests run without a display.
function(lonvera_add_qtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  lonvera_test_environment(env ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${env}"
    LABELS "${T_LABELS}")
endfunction()

# lonvera_add_fuzzer(NAME SOURCES a.cpp LIBS lib... [SECONDS n])
# A libFuzzer target. Only built with LONVERA_FUZZ (clang); ctest runs it for a bounded time over
# the seed corpus in the folder corpus/NAME beside the calling CMakeLists.txt, when that exists.
function(lonvera_add_fuzzer name)
  cmake_parse_arguments(F "" "SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT LONVERA_FUZZ)
    return()
  endif()
  if(NOT F_SECONDS)
    set(F_SECONDS 30)
  endif()
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  file(MAKE_DIRECTORY ${work})
  set(args ${work})
  if(EXISTS ${corpus})
    list(APPEND args ${corpus})
  endif()
  add_test(NAME ${name} COMMAND ${name} -max_total_time=${F_SECONDS} -rss_limit_mb=2048 ${args})
  lonvera_test_environment(env ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS fuzz ENVIRONMENT "${env}")
endfunction()
