# Warnings as errors for our own code, and the optional sanitizer and coverage builds.
option(LONVERA_TSAN "Build with ThreadSanitizer (clang; not together with LONVERA_SANITIZE)" OFF)
option(LONVERA_COVERAGE "Instrument for llvm-cov line and branch coverage (clang)" OFF)
option(LONVERA_SANITIZER_REPORT_FILES
       "Sanitizer reports of every test process (spawned servers too) go to sanitizer-reports/" OFF)

add_compile_options(-Wall -Wextra -Wpedantic)
if(LONVERA_WERROR)
  add_compile_options(-Werror)
endif()

if(LONVERA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(LONVERA_TSAN)
  if(LONVERA_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Every process writes its own profile (%p), so the worker servers and gateways a test spawns
# count as well; the test script merges them.
if(LONVERA_COVERAGE)
  add_compile_options(-fprofile-instr-generate -fcoverage-mapping)
  add_link_options(-fprofile-instr-generate)
endif()

# Coverage instrumentation for every library a fuzz target links, so the fuzzer sees the branches
# of the decoders it drives and not only those of its own entry function.
if(LONVERA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=fuzzer-no-link)
endif()
