# Turns a file into a C++ source defining a function that returns its bytes:
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DFUNCTION=<Name> -P embed_file.cmake
# The function is `std::span<const std::uint8_t> kestrune::resources::<Name>()`,
# declared in resources/embedded.h. Run at build time (see
# resources/CMakeLists.txt) so the program always carries the committed file.
cmake_minimum_required(VERSION 3.25)

foreach(required INPUT OUTPUT FUNCTION)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "embed_file.cmake: -D${required}=... is required")
  endif()
endforeach()
if(NOT FUNCTION MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
  message(FATAL_ERROR "embed_file.cmake: FUNCTION '${FUNCTION}' is not a C++ name")
endif()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
if(hex_length EQUAL 0)
  # A zero-sized array is not valid C++, and an empty picture is a mistake.
  message(FATAL_ERROR "embed_file.cmake: ${INPUT} is empty")
endif()
math(EXPR byte_count "${hex_length} / 2")

# "0xab," for every byte, 16 to a line. CMake's regular expressions have no
# {n}, so the 16-byte line pattern is spelled out.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPEAT "0x[0-9a-f][0-9a-f]," 16 line_pattern)
string(REGEX REPLACE "(${line_pattern})" "\\1\n    " bytes "${bytes}")
string(STRIP "${bytes}" bytes)

get_filename_component(input_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}" "// Generated from ${input_name} by cmake/embed_file.cmake at build time; do not edit.
#include \"resources/embedded.h\"

namespace kestrune::resources {
namespace {

constexpr std::uint8_t kBytes[${byte_count}] = {
    ${bytes}
};

}  // namespace

std::span<const std::uint8_t> ${FUNCTION}() { return kBytes; }

}  // namespace kestrune::resources
")
