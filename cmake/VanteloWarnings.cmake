# Warnings are errors in our own code only; Qt's headers come in as system includes.
function(vantelo_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
