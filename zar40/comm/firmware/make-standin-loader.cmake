# cmake -DOUT=FILE -P make-standin-loader.cmake
# Writes the stand-in flash loader for the simulator and the tests: 9902
# bytes of text that say what they are, ending in filler chosen so that the
# byte sum, truncated to 16 bits, is the maker's loader's 0x4BA4. The boot
# loader of zar40-sim answers with that sum like a unit, so the whole
# exchange runs; a real unit must never be given this file.
cmake_minimum_required(VERSION 3.16)
set(size 9902)
set(wanted 19364) # 0x4BA4
set(filler 1000)  # 94 per byte can make up any 16-bit difference
set(line "ZAR40 FLASH LOADER STAND-IN: for zar40-sim and the tests only, not processor code. Never send it to a real unit.\n")

string(HEX "${line}" hex)
string(LENGTH "${hex}" hexLength)
math(EXPR last "${hexLength} - 2")
set(lineSum 0)
foreach(i RANGE 0 ${last} 2)
  string(SUBSTRING "${hex}" ${i} 2 byte)
  math(EXPR lineSum "${lineSum} + 0x${byte}")
endforeach()
math(EXPR lineLength "${hexLength} / 2")
math(EXPR lines "(${size} - ${filler}) / ${lineLength}")
math(EXPR fillerLength "${size} - ${lines} * ${lineLength}")

set(text "")
foreach(i RANGE 1 ${lines})
  string(APPEND text "${line}")
endforeach()
# Filler of blanks (0x20), raised byte by byte until the sum is right.
math(EXPR missing "((${wanted} - ${lines} * ${lineSum} - ${fillerLength} * 32) % 65536 + 65536) % 65536")
foreach(i RANGE 1 ${fillerLength})
  if(missing GREATER 94)
    set(step 94)
  else()
    set(step ${missing})
  endif()
  math(EXPR missing "${missing} - ${step}")
  math(EXPR code "32 + ${step}")
  string(ASCII ${code} c)
  string(APPEND text "${c}")
endforeach()
file(WRITE "${OUT}" "${text}")
