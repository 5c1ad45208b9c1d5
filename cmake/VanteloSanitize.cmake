# A build of everything with AddressSanitizer and UndefinedBehaviorSanitizer, leak checking on:
#   cmake -B build-asan -DVANTELO_SANITIZE=ON
# Included before any target is declared, so the flags reach every library, executable and test.
option(VANTELO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

set(VANTELO_SANITIZE_ENV "")
if(VANTELO_SANITIZE)
    # Undefined behaviour aborts instead of printing and carrying on, so a test cannot pass over it.
    set(_vantelo_sanitize_flags
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_compile_options(${_vantelo_sanitize_flags})
    # Line tables are all a sanitizer report needs; full debug information doubled the build time.
    # -O1, as the sanitizers' own documentation advises, builds faster than the configuration's
    # -O2 and keeps reports readable.
    add_compile_options(-g1 -O1)
    add_link_options(${_vantelo_sanitize_flags})

    # Leaks inside Qt and the web engine that our code cannot free are suppressed by name, one
    # justified entry each; anything leaked from our own frames still fails the test.
    set(VANTELO_LSAN_SUPPRESSIONS ${CMAKE_CURRENT_LIST_DIR}/../tools/lsan.supp)
    get_filename_component(VANTELO_LSAN_SUPPRESSIONS ${VANTELO_LSAN_SUPPRESSIONS} ABSOLUTE)
    # Tests register this list as their CTest environment (cmake/VanteloTest.cmake). Colons only:
    # a semicolon would split the list entry. The fast unwinder stays on: full unwinding on every
    # allocation made the GUI tests five times slower, and the suppressions need only the frame
    # that calls the allocator.
    set(VANTELO_SANITIZE_ENV
        "ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1"
        "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
        "LSAN_OPTIONS=suppressions=${VANTELO_LSAN_SUPPRESSIONS}:print_suppressions=0")
endif()
