# Warnings as errors for our own code, and the optional sanitizer build.
add_compile_options(-Wall -Wextra -Wpedantic)
if(LONVERA_WERROR)
  add_compile_options(-Werror)
endif()

if(LONVERA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Coverage instrumentation for every library a fuzz target links, so the fuzzer sees the branches
# of the decoders it drives and not only those of its own entry function.
if(LONVERA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=fuzzer-no-link)
endif()
