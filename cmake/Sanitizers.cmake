# AddressSanitizer and UndefinedBehaviorSanitizer over the whole build, tests and the
# programs they run included (scripts/test.sh --sanitize). Undefined behaviour ends the
# program instead of printing a line that a passing test would hide.
option(RAVLIN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(RAVLIN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
