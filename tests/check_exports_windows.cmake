# Fails unless postrix.dll exports exactly the three entry points, by their
# plain names, and imports from nothing but Windows' own DLLs: a mingw
# runtime DLL (libstdc++-6, libgcc_s, libwinpthread-1) would be missing on
# the user's machine.
#
# cmake -DPLUGIN=<postrix.dll> -DOBJDUMP=<x86_64-w64-mingw32-objdump> -P check_exports_windows.cmake
cmake_minimum_required(VERSION 3.20)

if(NOT OBJDUMP)
  set(OBJDUMP x86_64-w64-mingw32-objdump)
endif()
execute_process(COMMAND ${OBJDUMP} -p ${PLUGIN}
  OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${PLUGIN}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${headers}")

# Export names follow "[Ordinal/Name Pointer] Table" as "[   0] name" lines.
set(names)
set(in_names FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "\\[Ordinal/Name Pointer\\] Table")
    set(in_names TRUE)
  elseif(in_names AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
    list(APPEND names "${CMAKE_MATCH_1}")
  elseif(in_names)
    set(in_names FALSE)
  endif()
endforeach()
list(SORT names)
if(NOT names STREQUAL "pluginLoad;pluginUnload;queryPlugInfo")
  message(FATAL_ERROR "unexpected exports: ${names}")
endif()

# The system DLLs the plug-in may import from (names compared in upper case).
set(allowed KERNEL32.DLL USER32.DLL GDI32.DLL COMDLG32.DLL COMCTL32.DLL SHELL32.DLL ADVAPI32.DLL
  WS2_32.DLL IPHLPAPI.DLL MSVCRT.DLL)
set(imports)
set(problems)
foreach(line IN LISTS lines)
  if(line MATCHES "DLL Name: (.+)$")
    string(STRIP "${CMAKE_MATCH_1}" dll)
    string(TOUPPER "${dll}" upper)
    list(APPEND imports "${dll}")
    if(NOT upper IN_LIST allowed AND NOT upper MATCHES "^API-MS-WIN-")
      list(APPEND problems "${dll}")
    endif()
  endif()
endforeach()
if(NOT imports)
  message(FATAL_ERROR "no imports found in ${PLUGIN}")
endif()
if(problems)
  message(FATAL_ERROR "imports from DLLs that are not Windows' own: ${problems}")
endif()
message(STATUS "exports: ${names}; imports: ${imports}")
