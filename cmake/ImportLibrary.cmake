# Run with cmake -P after the DLL is linked: rewrites its import library so that applications
# compiled against the header (which declares every export __stdcall, so calls refer to the
# decorated Name@N) link against the DLL's plain export names.
#   -DNM=... -DDLLTOOL=... -DOBJECTS=<list> -DEXPORTS=exports.txt -DDLL_NAME=veltra.dll
#   -DIMPLIB=<import library> -DDEF=<decorated .def to write>
file(STRINGS "${EXPORTS}" names)
execute_process(COMMAND "${NM}" -g --defined-only ${OBJECTS} OUTPUT_VARIABLE symbols
                COMMAND_ERROR_IS_FATAL ANY)
set(def "LIBRARY ${DLL_NAME}\nEXPORTS\n")
foreach(name ${names})
  string(REGEX MATCH " T _${name}@([0-9]+)\n" match "${symbols}")
  if(NOT match)
    message(FATAL_ERROR "export ${name} has no __stdcall definition")
  endif()
  string(APPEND def "  ${name}@${CMAKE_MATCH_1}\n")
endforeach()
file(WRITE "${DEF}" "${def}")
execute_process(COMMAND "${DLLTOOL}" --kill-at --def "${DEF}" --dllname "${DLL_NAME}"
                        --output-lib "${IMPLIB}" COMMAND_ERROR_IS_FATAL ANY)
