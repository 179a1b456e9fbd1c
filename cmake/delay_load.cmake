# Libraries that are not KnownDLLs are delay-loaded, and then from the system
# folder only (common/system_libraries.cpp): a library the loader resolved
# at start would be searched for beside the program first, typically in the
# user's Downloads folder, and loaded into the elevated process before its
# first line runs. Each delay-import library is made, once per build tree,
# from the toolchain's own import library.
#
# Calls into them must reach the delay thunks: with dllimport, ld links them
# past the thunk to an empty slot (binutils bug 14339), so our code declares
# Windows functions without it (DECLSPEC_IMPORT, in vexil_options).
function(vexil_delay_library name)
  set(dir ${CMAKE_BINARY_DIR}/delay)
  set(lib ${dir}/lib${name}_delay.a)
  if(NOT EXISTS ${lib})
    find_library(import_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
    execute_process(COMMAND ${CMAKE_NM} -g ${import_${name}} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "I __imp__[^\n]+" imports "${symbols}")
    list(TRANSFORM imports REPLACE "^I __imp__" "")
    list(REMOVE_DUPLICATES imports)
    list(JOIN imports "\n" exports)
    file(WRITE ${dir}/${name}.def "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${dir}/${name}.def --output-delaylib ${lib}
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
  add_library(delay_${name} STATIC IMPORTED GLOBAL)
  set_target_properties(delay_${name} PROPERTIES IMPORTED_LOCATION ${lib})
endfunction()

set(VEXIL_DELAY_LOADED wininet msimg32 bcrypt)
foreach(name ${VEXIL_DELAY_LOADED})
  vexil_delay_library(${name})
endforeach()
