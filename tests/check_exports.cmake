# Fails unless the plug-in's dynamic symbol table defines exactly the three
# entry points.
execute_process(COMMAND nm -D --defined-only ${PLUGIN}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${PLUGIN}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(names)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
if(NOT names STREQUAL "pluginLoad;pluginUnload;queryPlugInfo")
  message(FATAL_ERROR "unexpected exports: ${names}")
endif()
