# Fails when an include runs upward through the plug-in's layers, or when a
# host-side program reaches past the ABI.
#
# The folders of postrix/, bottom first; smtp and pop3 share a rank but do
# not include each other; imap reads headers with pop3's decoding, so it
# ranks above both. A file may include its own folder and any folder
# ranked below it. resources/ is data that platform's toolkits build their
# dialogs from, so it sits below platform.
#
# joxhost/, tests/support/ (the fake host and desktop), the Windows test
# host tests/windows/host/ and the plug-in stand-in
# tests/joxhost/fake_plugin.cpp load the plug-in as a host does: they
# include nothing of postrix but abi/.
#
# cmake -DSOURCE_DIR=<checkout> -P check_layers.cmake
cmake_minimum_required(VERSION 3.20)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(layers abi resources platform text host mail "smtp|pop3" imap accounts ui plugin)
set(rank 0)
set(folders)
foreach(layer IN LISTS layers)
  string(REPLACE "|" ";" names "${layer}")
  foreach(name IN LISTS names)
    set(rank_${name} ${rank})
    list(APPEND folders ${name})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

set(problems)

# The include paths of a file, quoted or angled, one per list entry.
function(includes_of file out)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  set(paths)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*$" "\\1" path "${line}")
    list(APPEND paths "${path}")
  endforeach()
  set(${out} "${paths}" PARENT_SCOPE)
endfunction()

# The postrix folder an include path names, or empty when it names none:
# "postrix/text/x.h", "text/x.h" and "../text/x.h" all name text.
function(folder_named path out)
  set(folder "")
  string(REGEX REPLACE "^(\\.\\./)+" "" inner "${path}")
  string(REGEX REPLACE "^postrix/" "" inner "${inner}")
  if(inner MATCHES "^([^/]+)/")
    set(first "${CMAKE_MATCH_1}")
    if(first IN_LIST folders)
      set(folder "${first}")
    endif()
  endif()
  set(${out} "${folder}" PARENT_SCOPE)
endfunction()

# --- the plug-in: every include runs downward --------------------------------
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
  "${SOURCE_DIR}/postrix/*.h" "${SOURCE_DIR}/postrix/*.c" "${SOURCE_DIR}/postrix/*.cpp"
  "${SOURCE_DIR}/postrix/*.rc")
if(NOT sources)
  message(FATAL_ERROR "no sources under ${SOURCE_DIR}/postrix")
endif()
foreach(source IN LISTS sources)
  if(NOT source MATCHES "^postrix/([^/]+)/")
    list(APPEND problems "${source}: lies outside every layer folder")
    continue()
  endif()
  set(own "${CMAKE_MATCH_1}")
  if(NOT own IN_LIST folders)
    list(APPEND problems "${source}: ${own}/ is no layer (add it to check_layers.cmake)")
    continue()
  endif()
  includes_of("${SOURCE_DIR}/${source}" paths)
  foreach(path IN LISTS paths)
    folder_named("${path}" target)
    if(target STREQUAL "" OR target STREQUAL own)
      continue()
    endif()
    if(NOT rank_${target} LESS rank_${own})
      list(APPEND problems "${source}: includes ${path}, but ${target}/ is not below ${own}/")
    endif()
  endforeach()
endforeach()

# --- the hosts: abi/ only ---------------------------------------------------
file(GLOB_RECURSE host_sources RELATIVE "${SOURCE_DIR}"
  "${SOURCE_DIR}/joxhost/*.h" "${SOURCE_DIR}/joxhost/*.cpp"
  "${SOURCE_DIR}/tests/support/*.h" "${SOURCE_DIR}/tests/support/*.cpp"
  "${SOURCE_DIR}/tests/windows/host/*.h" "${SOURCE_DIR}/tests/windows/host/*.cpp")
list(APPEND host_sources tests/joxhost/fake_plugin.cpp)
foreach(source IN LISTS host_sources)
  if(NOT EXISTS "${SOURCE_DIR}/${source}")
    list(APPEND problems "${source}: missing")
    continue()
  endif()
  includes_of("${SOURCE_DIR}/${source}" paths)
  foreach(path IN LISTS paths)
    folder_named("${path}" target)
    if((path MATCHES "^postrix/" OR NOT target STREQUAL "") AND NOT target STREQUAL "abi")
      list(APPEND problems "${source}: includes ${path}, but a host includes only postrix/abi/")
    endif()
  endforeach()
endforeach()

if(problems)
  list(LENGTH problems count)
  string(REPLACE ";" "\n  " listing "${problems}")
  message(FATAL_ERROR "${count} include(s) against the layers:\n  ${listing}")
endif()
list(LENGTH sources plugin_count)
list(LENGTH host_sources host_count)
message(STATUS "layers hold: ${plugin_count} plug-in files, ${host_count} host-side files")
