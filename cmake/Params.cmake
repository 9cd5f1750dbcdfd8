# The parameter table: source/params.json, written at configure time as the
# C++ header brontalparamtable.h (the id enum and kParams, included by
# source/brontalparams.h), on every target's include path. Editing the JSON
# configures again. The Python generators read the JSON itself.
set(_json_file "${PROJECT_SOURCE_DIR}/source/params.json")
set(_out_dir "${CMAKE_BINARY_DIR}/generated")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_json_file}")
file(READ "${_json_file}" _json)

function(_param_fail index what)
  message(FATAL_ERROR "source/params.json, row ${index}: ${what}")
endfunction()

# "footswitch" -> "Footswitch": the JSON's words are the C++ enumerators.
function(_param_enumerator out word allowed index)
  if(NOT word IN_LIST allowed)
    _param_fail(${index} "'${word}' is none of ${allowed}")
  endif()
  string(SUBSTRING "${word}" 0 1 _first)
  string(SUBSTRING "${word}" 1 -1 _rest)
  string(TOUPPER "${_first}" _first)
  set(${out} "${_first}${_rest}" PARENT_SCOPE)
endfunction()

string(JSON _count LENGTH "${_json}" params)
set(_enum "")
set(_rows "")
math(EXPR _last "${_count} - 1")
foreach(_i RANGE ${_last})
  foreach(_key id name title kind default steps glide)
    string(JSON _${_key} GET "${_json}" params ${_i} ${_key})
  endforeach()
  # Published ids never move: a row out of place is an error, not a new id.
  # The first list is ids 1..19; kParamListEnd (20) closes it and later
  # parameters take rising ids from 21 on. A later id may leave a gap (an id
  # taken by a feature of another branch); IsParamId knows the gaps.
  if(_i LESS 19)
    math(EXPR _want "${_i} + 1")
    if(NOT _id EQUAL _want)
      _param_fail(${_i} "id ${_id}, expected ${_want}")
    endif()
  elseif(NOT _id GREATER _last_id OR _id LESS 21)
    _param_fail(${_i} "id ${_id}, expected one above ${_last_id} and 20")
  endif()
  set(_last_id ${_id})
  if(NOT _name MATCHES "^k[A-Za-z0-9]+$")
    _param_fail(${_i} "name '${_name}' is not a k-prefixed identifier")
  endif()
  if(_title MATCHES "[\"\\\\]")
    _param_fail(${_i} "the title holds a quote or a backslash")
  endif()
  _param_enumerator(_kind "${_kind}" "switch;level;indicator;button;pedal;program" ${_i})

  # A pedal is a foot controller's way into a switch: its target and mode.
  string(JSON _pedal_type ERROR_VARIABLE _no_pedal TYPE "${_json}" params ${_i} pedal)
  if(_kind STREQUAL "Pedal")
    if(NOT _pedal_type STREQUAL "OBJECT")
      _param_fail(${_i} "a pedal names its target and mode")
    endif()
    string(JSON _ptarget GET "${_json}" params ${_i} pedal target)
    string(JSON _pmode GET "${_json}" params ${_i} pedal mode)
    _param_enumerator(_pmode "${_pmode}" "hold;toggle" ${_i})
    set(_pedal "{${_ptarget}, PedalMode::${_pmode}}")
  elseif(_pedal_type STREQUAL "OBJECT")
    _param_fail(${_i} "only a pedal names a target")
  else()
    set(_pedal "{}")
  endif()

  string(JSON _nflags LENGTH "${_json}" params ${_i} flags)
  set(_flags "")
  math(EXPR _lastflag "${_nflags} - 1")
  foreach(_f RANGE ${_lastflag})
    string(JSON _flag GET "${_json}" params ${_i} flags ${_f})
    list(APPEND _flags "ParamFlags::${_flag}")
  endforeach()
  list(JOIN _flags " | " _flags)
  if(_flags STREQUAL "")
    set(_flags 0)
  endif()

  string(JSON _slot_type TYPE "${_json}" params ${_i} slot)
  if(_slot_type STREQUAL "NULL")
    set(_slot "{}")
  else()
    foreach(_key widget bitmap frames x y)
      string(JSON _s${_key} GET "${_json}" params ${_i} slot ${_key})
    endforeach()
    string(JSON _soff ERROR_VARIABLE _no_off GET "${_json}" params ${_i} slot off)
    if(_no_off)
      set(_soff 0)
    endif()
    _param_enumerator(_swidget "${_swidget}" "footswitch;toggle;knob;meter;led;button;tuner;programs" ${_i})
    set(_slot "{EditorWidget::${_swidget}, ${_sbitmap}, ${_soff}, ${_sframes}, ${_sx}, ${_sy}}")
  endif()

  # CMake gives the default back with 17 digits (0.55000000000000004): as a
  # float literal that is still the float of 0.55.
  if(NOT _default MATCHES "[.eE]")
    string(APPEND _default ".0")
  endif()
  if(_glide)
    set(_glide true)
  else()
    set(_glide false)
  endif()

  if(_i EQUAL 19)
    string(APPEND _enum "\tkParamListEnd = 20,\n")
  endif()
  string(APPEND _enum "\t${_name} = ${_id},\n")
  string(APPEND _rows "\t{${_name}, u\"${_title}\", ParamKind::${_kind}, ${_default}f, ${_flags}, ${_steps}, ${_glide},\n"
                      "\t ${_slot}, ${_pedal}},\n")
endforeach()

# Without later parameters the list's end closes the enum.
if(_count GREATER 19)
  set(_list_end "")
else()
  set(_list_end "\tkParamListEnd,\n")
endif()

file(CONFIGURE OUTPUT "${_out_dir}/brontalparamtable.h" @ONLY CONTENT
"// Written by cmake/Params.cmake from source/params.json: edit that file.
#pragma once

enum
{
\tkParamListStart = 0,
${_enum}${_list_end}\tkNumParams
};

inline constexpr ParamDef kParams[] = {
${_rows}};
")
include_directories("${_out_dir}")
