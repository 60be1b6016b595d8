# Writes the server's systemd unit when installing, with the full paths of
# the server and its environment file under the install prefix;
# each is quoted or escaped as unit files require.
foreach(what SERVER ENV_FILE)
  cmake_path(ABSOLUTE_PATH MD_UNIT_${what} BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE
             OUTPUT_VARIABLE path)
  # Specifiers start with a percent sign, variables with a dollar sign.
  string(REPLACE "%" "%%" path "${path}")
  if(NOT what STREQUAL "ENV_FILE")
    string(REPLACE "$" "$$" path "${path}")
    string(REPLACE "\\" "\\\\" path "${path}")
    string(REPLACE "\"" "\\\"" path "${path}")
    set(path "\"${path}\"")
  endif()
  set(MD_UNIT_${what} "${path}")
endforeach()
configure_file("${MD_UNIT_TEMPLATE}" "${MD_UNIT_FILE}" @ONLY)
