# The voicings: source/voicings.json, written at configure time as the C++
# header brontalvoicings.h (the equalisers' curves and the cabinet's mixes),
# on every target's include path beside the parameter table. Editing the
# JSON configures again. The response plots read the JSON itself.
set(_voicings_file "${PROJECT_SOURCE_DIR}/source/voicings.json")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_voicings_file}")
file(READ "${_voicings_file}" _voicings)

# The numbers of a JSON array as a C++ initialiser of `suffix`-typed
# literals, exactly `count` of them; a number without a decimal point is an
# error (15 would not read as a float literal).
function(_voicing_list out suffix count)
  string(JSON _n LENGTH "${_voicings}" ${ARGN})
  if(NOT _n EQUAL count)
    message(FATAL_ERROR "source/voicings.json, ${ARGN}: ${_n} numbers, expected ${count}")
  endif()
  set(_items "")
  math(EXPR _last "${_n} - 1")
  foreach(_i RANGE ${_last})
    string(JSON _v GET "${_voicings}" ${ARGN} ${_i})
    _voicing_number(_v "${_v}" "${suffix}" "${ARGN}")
    list(APPEND _items "${_v}")
  endforeach()
  list(JOIN _items ", " _items)
  set(${out} "{${_items}}" PARENT_SCOPE)
endfunction()

function(_voicing_number out value suffix where)
  if(NOT value MATCHES "^-?[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "source/voicings.json, ${where}: '${value}' is not a number with a decimal point")
  endif()
  set(${out} "${value}${suffix}" PARENT_SCOPE)
endfunction()

set(_bands 7)
_voicing_list(_band_hz f ${_bands} equaliser bands_hz)
string(JSON _q GET "${_voicings}" equaliser q)
_voicing_number(_q "${_q}" "" "equaliser q")
set(_equ "")
foreach(_i 0 1 2 3)
  _voicing_list(_gains f ${_bands} equaliser voicings ${_i} bands)
  string(JSON _out GET "${_voicings}" equaliser voicings ${_i} output_db)
  _voicing_number(_out "${_out}" f "equaliser voicing ${_i}")
  list(APPEND _equ "{${_gains}, ${_out}}")
endforeach()
list(GET _equ 0 _pre_clean)
list(GET _equ 1 _pre_drive)
list(GET _equ 2 _post_clean)
list(GET _equ 3 _post_drive)

_voicing_list(_base_gains "" ${_bands} cabinet base_gains)
set(_cab "")
foreach(_i 0 1)
  _voicing_list(_weights f ${_bands} cabinet voicings ${_i} weights)
  string(JSON _level GET "${_voicings}" cabinet voicings ${_i} level_db)
  _voicing_number(_level "${_level}" f "cabinet voicing ${_i}")
  list(APPEND _cab "{${_weights}, ${_level}}")
endforeach()
list(GET _cab 0 _cab_clean)
list(GET _cab 1 _cab_drive)

file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/generated/brontalvoicings.h" @ONLY CONTENT
"// Written by cmake/Voicings.cmake from source/voicings.json: edit that file.
#pragma once

namespace brontal::voicings {

inline constexpr int kBands = @_bands@;

// The equalisers' seven peaks: their centres, their common Q, and per
// voicing a table value per band (the centre gain is twice it) and the
// output gain, in dB.
inline constexpr float kEquBandHz[kBands] = @_band_hz@;
inline constexpr double kEquBandQ = @_q@;
struct EquVoicing
{
\tfloat afBand[kBands];
\tfloat fOutputDb;
};
// Indexed [after the cabinet][distortion on].
inline constexpr EquVoicing kEqu[2][2] = {
\t{@_pre_clean@, @_pre_drive@},
\t{@_post_clean@, @_post_drive@},
};

// The cabinet: the gain of each of the seven base responses, and per
// voicing the weight of each in the mix and the mix's level, in dB.
inline constexpr int kCabinetResponses = kBands;
inline constexpr double kCabinetBaseGains[kCabinetResponses] = @_base_gains@;
struct CabinetVoicing
{
\tfloat afWeights[kCabinetResponses];
\tfloat fLevelDb;
};
inline constexpr CabinetVoicing kCabinetClean = @_cab_clean@;
inline constexpr CabinetVoicing kCabinetDrive = @_cab_drive@;

} // namespace brontal::voicings
")
