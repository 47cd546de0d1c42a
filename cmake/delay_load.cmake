# cveltrix_delay_load(<target> <dll>...): links <target> against each system
# DLL so that Windows loads it at the first call into it, not at start.
function(cveltrix_delay_load target)
    if(MSVC)
        foreach(dll IN LISTS ARGN)
            target_link_libraries(${target} PUBLIC ${dll})
            target_link_options(${target} PUBLIC /DELAYLOAD:${dll}.dll)
        endforeach()
        target_link_libraries(${target} PUBLIC delayimp)
        return()
    endif()
    # MinGW-w64 has the delay-load helper but no delay-import libraries; one
    # is made for each DLL from the export list of the toolchain's import
    # library (all of it, so that no call falls back to a load at start).
    set(folder ${CMAKE_BINARY_DIR}/delay_load)
    file(MAKE_DIRECTORY ${folder})
    foreach(dll IN LISTS ARGN)
        find_library(CVELTRIX_IMPORT_LIB_${dll} ${dll} REQUIRED)
        execute_process(COMMAND ${CMAKE_NM} -g ${CVELTRIX_IMPORT_LIB_${dll}}
                        OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
        string(REGEX MATCHALL " I __imp_[^\r\n]+" imports "${symbols}")
        list(TRANSFORM imports REPLACE "^ I __imp_" "")
        list(REMOVE_DUPLICATES imports)
        list(JOIN imports "\n" exports)
        file(WRITE ${folder}/${dll}.def "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
        cveltrix_delay_import_library(${target} ${dll} ${folder})
    endforeach()
endfunction()

# The clang build links with lld, which builds the delay-load tables itself
# from short import libraries (llvm-dlltool's); GNU dlltool's delay-import
# libraries keep their table in .idata, which lld makes read-only.
function(cveltrix_delay_import_library target dll folder)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        execute_process(COMMAND ${CMAKE_DLLTOOL} -m i386:x86-64 -d ${dll}.def -l lib${dll}_import.a
                        WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
        target_link_libraries(${target} PUBLIC ${folder}/lib${dll}_import.a)
        target_link_options(${target} PUBLIC -Wl,--delayload=${dll}.dll)
        return()
    endif()
    find_program(CVELTRIX_GNU_DLLTOOL x86_64-w64-mingw32-dlltool REQUIRED)
    # Names relative to the folder: dlltool derives symbol names from them,
    # and two build folders must give the same exe.
    execute_process(COMMAND ${CVELTRIX_GNU_DLLTOOL} --def ${dll}.def --dllname ${dll}.dll
                            --output-delaylib lib${dll}_delay.a
                    WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
    target_link_libraries(${target} PUBLIC ${folder}/lib${dll}_delay.a)
endfunction()
