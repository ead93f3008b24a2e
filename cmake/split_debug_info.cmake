# Moves a Windows binary's debug information into NAME.debug beside it, which gdb finds through
# the debug link left in the binary. Wine maps a DLL's file whole, so the 15 MB of a
# RelWithDebInfo build's DWARF would otherwise be resident in every process that loads it.
function(tavinel_split_debug_info target)
    if(NOT CMAKE_OBJCOPY)
        return()
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}>
                $<TARGET_FILE_NAME:${target}>.debug
        COMMAND ${CMAKE_OBJCOPY} --strip-all
                --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
                $<TARGET_FILE_NAME:${target}>
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        VERBATIM)
endfunction()
