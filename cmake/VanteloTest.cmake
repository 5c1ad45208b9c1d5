# One place registers every test: its label, a timeout and the environment it needs to run
# headless as root (offscreen platform; the web engine without its sandbox and with software
# rendering, which it needs on the offscreen platform).
set(VANTELO_TEST_ENV
    QT_QPA_PLATFORM=offscreen
    QTWEBENGINE_DISABLE_SANDBOX=1
    QT_QUICK_BACKEND=software
    QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
    QT_LOGGING_RULES=qt.qpa.*=false
    ${VANTELO_SANITIZE_ENV})

function(vantelo_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LABELS;LIBS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE vantelo_testsupport Qt5::Test ${ARG_LIBS})
    vantelo_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        LABELS "${ARG_LABELS}"
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "${VANTELO_TEST_ENV}")
endfunction()
