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

# vantelo_add_test(name SOURCES ... [LABELS ...] [LIBS ...] [TIMEOUT s] [RUNS run...])
# A long test may be registered as several runs of some of its test functions, which CTest then
# runs side by side: each run is "testname=function,function".
function(vantelo_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LABELS;LIBS;RUNS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 180)
    endif()
    if(NOT ARG_RUNS)
        set(ARG_RUNS ${name})
    endif()
    add_executable(${name} ${ARG_SOURCES})
    # One source file a test: a unity build gains nothing and would make its local types look
    # like a header's to the compiler.
    set_target_properties(${name} PROPERTIES UNITY_BUILD OFF)
    target_link_libraries(${name} PRIVATE vantelo_testsupport Qt5::Test ${ARG_LIBS})
    vantelo_warnings(${name})
    foreach(run ${ARG_RUNS})
        string(REPLACE "=" ";" parts "${run}")
        list(GET parts 0 test)
        set(functions "")
        list(LENGTH parts count)
        if(count GREATER 1)
            list(GET parts 1 functions)
            string(REPLACE "," ";" functions "${functions}")
        endif()
        add_test(NAME ${test} COMMAND ${name} ${functions})
        set_tests_properties(${test} PROPERTIES
            LABELS "${ARG_LABELS}"
            TIMEOUT ${ARG_TIMEOUT}
            ENVIRONMENT "${VANTELO_TEST_ENV}")
    endforeach()
endfunction()
